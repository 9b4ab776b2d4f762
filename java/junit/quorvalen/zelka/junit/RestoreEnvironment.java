// Puts back the whole environment after a test, or after every test of a class.
package quorvalen.zelka.junit;

import java.lang.annotation.Documented;
import java.lang.annotation.ElementType;
import java.lang.annotation.Inherited;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;

/**
 * Puts back the whole environment after the annotated test (or after the annotated class's last
 * test) as it was before it, whatever changed it meanwhile: this library, native {@code setenv},
 * code under test. Variables added are removed, changed and removed ones get their values back.
 * It holds the {@link EnvironmentVariablesExtension#LOCK} resource lock for writing.
 */
@Target({ElementType.TYPE, ElementType.METHOD})
@Retention(RetentionPolicy.RUNTIME)
@Documented
@Inherited
@ChangesEnvironment
public @interface RestoreEnvironment {
}
