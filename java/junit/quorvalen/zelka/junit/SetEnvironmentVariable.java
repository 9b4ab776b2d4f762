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
 * Sets the environment variable {@link #name()} to {@link #value()} for the annotated test, or for
 * the annotated class: from before its {@code @BeforeAll} methods, set again before each of its
 * tests (its {@code @Nested} classes' included), and put back exactly as it was after each test
 * (passed, failed or aborted) and after the class. The real environment changes, so native code
 * and children see it, and so does the JDK's own copy ({@code System.getenv},
 * {@code ProcessBuilder}). It is found as JUnit finds annotations: on the method or class, on an
 * annotation of one's own that carries it, on an interface or superclass of the class. A method's
 * wins over its class's for the same name, a class's over its interfaces', superclass's and
 * enclosing class's. An empty value removes the variable, as {@code NativeTools.setenv} does.
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
