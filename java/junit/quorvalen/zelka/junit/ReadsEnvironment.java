// Marks a test that reads environment variables others may set, for parallel execution.
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
 * Holds the {@link EnvironmentVariablesExtension#LOCK} resource lock for reading: under parallel
 * execution the annotated test, or every test of the annotated class, may run beside other readers
 * but never while a test sets, clears or restores variables through these annotations.
 */
@Target({ElementType.TYPE, ElementType.METHOD})
@Retention(RetentionPolicy.RUNTIME)
@Documented
@Inherited
@ResourceLock(value = EnvironmentVariablesExtension.LOCK, mode = ResourceAccessMode.READ)
public @interface ReadsEnvironment {
}
