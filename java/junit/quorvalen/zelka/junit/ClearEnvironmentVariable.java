// Removes one environment variable for a test, or for every test of a class.
package quorvalen.zelka.junit;

import java.lang.annotation.Documented;
import java.lang.annotation.ElementType;
import java.lang.annotation.Inherited;
import java.lang.annotation.Repeatable;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;

/**
 * Removes the environment variable {@link #name()} for the annotated test, or for the annotated
 * class and each of its tests, and puts it back exactly as it was afterwards; otherwise as
 * {@link SetEnvironmentVariable}.
 */
@Target({ElementType.TYPE, ElementType.METHOD})
@Retention(RetentionPolicy.RUNTIME)
@Documented
@Inherited
@Repeatable(ClearEnvironmentVariable.List.class)
@ChangesEnvironment
public @interface ClearEnvironmentVariable {
    /** @return the variable's name */
    String name();

    /** Holds the repeated annotations; written by the compiler. */
    @Target({ElementType.TYPE, ElementType.METHOD})
    @Retention(RetentionPolicy.RUNTIME)
    @Documented
    @Inherited
    @ChangesEnvironment
    @interface List {
        /** @return the variables cleared */
        ClearEnvironmentVariable[] value();
    }
}
