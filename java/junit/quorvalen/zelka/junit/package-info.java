/**
 * Environment variables for JUnit Jupiter tests, set on the real environment of the process and
 * put back exactly: {@link quorvalen.zelka.junit.SetEnvironmentVariable},
 * {@link quorvalen.zelka.junit.ClearEnvironmentVariable},
 * {@link quorvalen.zelka.junit.RestoreEnvironment} and, for parallel execution,
 * {@link quorvalen.zelka.junit.ReadsEnvironment} and {@link quorvalen.zelka.junit.WritesEnvironment}.
 */
package quorvalen.zelka.junit;
