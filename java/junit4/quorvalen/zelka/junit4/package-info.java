/**
 * Environment variables for JUnit 4 tests, set on the real environment of the process and put back
 * exactly: {@link quorvalen.zelka.junit4.EnvironmentVariablesRule}, as a rule or a class rule.
 */
package quorvalen.zelka.junit4;
