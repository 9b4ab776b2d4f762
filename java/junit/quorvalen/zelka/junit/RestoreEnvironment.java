// Puts back the whole environment after a test, or after every test of a class.
package quorvalen.zelka.junit;

import java.lang.annotation.Documented;
import java.lang.annotation.ElementType;
import java.lang.annotation.Inherited;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;

/**
 * Puts back the whole environment after the annotated test as it was before it, or, on a class,
 * after each of its tests, after each of its {@code @Nested} classes and after the class, whatever
 * changed it meanwhile: this library, native {@code setenv}, code under test. Variables added are
 * removed, changed and removed ones get their values back, each entry as the host held it (on
 * Linux an empty value and bytes that are not UTF-8 too). It holds the
 * {@link EnvironmentVariablesExtension#LOCK} resource lock for writing.
 */
@Target({ElementType.TYPE, ElementType.METHOD})
@Retention(RetentionPolicy.RUNTIME)
@Documented
@Inherited
@ChangesEnvironment
public @interface RestoreEnvironment {
}
