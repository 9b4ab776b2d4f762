// Sets one environment variable for a test, or for every test of a class.
package quorvalen.zelka.junit;

import java.lang.annotation.Documented;
import java.lang.annotation.ElementType;
import java.lang.annotation.Inherited;
import java.lang.annotation.Repeatable;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;

/**
 * Sets the environment variable {@link #name()} to {@link #value()} before the annotated test, or
 * before the first test of the annotated class (its {@code @Nested} classes included), and puts it
 * back exactly as it was after it (passed, failed or aborted), or after the class's last test. The
 * real environment changes, so native code and children see it, and so does the JDK's own copy
 * ({@code System.getenv}, {@code ProcessBuilder}). A method's annotation wins over its class's for
 * the same name. An empty value removes the variable, as {@code NativeTools.setenv} does.
 *
 * <p>The test holds the {@link EnvironmentVariablesExtension#LOCK} resource lock for writing, so no
 * other test that uses it runs meanwhile under parallel execution. A name that is empty or holds
 * {@code '='} or U+0000, a value that holds U+0000, or a name set or cleared twice on one class or
 * method fails the test before it runs, with the environment untouched.
 */
@Target({ElementType.TYPE, ElementType.METHOD})
@Retention(RetentionPolicy.RUNTIME)
@Documented
@Inherited
@Repeatable(SetEnvironmentVariable.List.class)
@ChangesEnvironment
public @interface SetEnvironmentVariable {
    /** @return the variable's name */
    String name();

    /** @return its value during the test */
    String value();

    /** Holds the repeated annotations; written by the compiler. */
    @Target({ElementType.TYPE, ElementType.METHOD})
    @Retention(RetentionPolicy.RUNTIME)
    @Documented
    @Inherited
    @ChangesEnvironment
    @interface List {
        /** @return the variables set */
        SetEnvironmentVariable[] value();
    }
}
