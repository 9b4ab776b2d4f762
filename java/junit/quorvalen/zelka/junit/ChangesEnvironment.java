// What every annotation that changes the environment carries: the extension, and the lock for writing.
package quorvalen.zelka.junit;

import java.lang.annotation.ElementType;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;
import org.junit.jupiter.api.extension.ExtendWith;
import org.junit.jupiter.api.parallel.ResourceAccessMode;
import org.junit.jupiter.api.parallel.ResourceLock;

/** Meta-annotates the annotations that change the environment, which JUnit reads through them. */
@Target(ElementType.ANNOTATION_TYPE)
@Retention(RetentionPolicy.RUNTIME)
@ExtendWith(EnvironmentVariablesExtension.class)
@ResourceLock(value = EnvironmentVariablesExtension.LOCK, mode = ResourceAccessMode.READ_WRITE)
@interface ChangesEnvironment {
}
