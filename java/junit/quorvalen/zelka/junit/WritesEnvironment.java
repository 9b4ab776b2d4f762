// Marks a test that changes environment variables itself, for parallel execution.
package quorvalen.zelka.junit;

import java.lang.annotation.Documented;
import java.lang.annotation.ElementType;
import java.lang.annotation.Inherited;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;
import org.junit.jupiter.api.parallel.ResourceAccessMode;
import org.junit.jupiter.api.parallel.ResourceLock;

/**
 * Holds the {@link EnvironmentVariablesExtension#LOCK} resource lock for writing, and changes
 * nothing itself: for a test, or every test of a class, that changes the environment some other
 * way (through {@code NativeTools}, native code, a child's side effect), so that under parallel
 * execution no test that reads or sets variables through these annotations runs meanwhile.
 */
@Target({ElementType.TYPE, ElementType.METHOD})
@Retention(RetentionPolicy.RUNTIME)
@Documented
@Inherited
@ResourceLock(value = EnvironmentVariablesExtension.LOCK, mode = ResourceAccessMode.READ_WRITE)
public @interface WritesEnvironment {
}
