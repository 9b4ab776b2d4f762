// The JUnit Jupiter extension behind the annotations: changes the environment around tests, then puts it back.
package quorvalen.zelka.junit;

import java.lang.reflect.AnnotatedElement;
import org.junit.jupiter.api.extension.AfterAllCallback;
import org.junit.jupiter.api.extension.AfterEachCallback;
import org.junit.jupiter.api.extension.BeforeAllCallback;
import org.junit.jupiter.api.extension.BeforeEachCallback;
import org.junit.jupiter.api.extension.ExtensionContext;
import quorvalen.zelka.EnvironmentScope;

/**
 * Applies the {@link SetEnvironmentVariable}, {@link ClearEnvironmentVariable} and
 * {@link RestoreEnvironment} annotations of a test class before its first test and of a test
 * method before it runs, each through an {@link EnvironmentScope} that is closed after the method,
 * or after the class's last test. Each annotation registers it; there is no need to.
 */
public final class EnvironmentVariablesExtension
    implements BeforeAllCallback, AfterAllCallback, BeforeEachCallback, AfterEachCallback {
    /**
     * The key of the resource lock that tests changing the environment through these annotations
     * hold for writing, and {@link ReadsEnvironment} for reading, for use in a
     * {@code @ResourceLock} of one's own.
     */
    public static final String LOCK = "quorvalen.zelka.environment";

    private static final ExtensionContext.Namespace NAMESPACE = ExtensionContext.Namespace.create(EnvironmentVariablesExtension.class);

    /** Made by JUnit, for each annotated class or method. */
    public EnvironmentVariablesExtension() {
    }

    @Override
    public void beforeAll(ExtensionContext context) {
        open(context, context.getRequiredTestClass(), "class " + context.getRequiredTestClass().getName());
    }

    @Override
    public void afterAll(ExtensionContext context) {
        close(context, context.getRequiredTestClass());
    }

    @Override
    public void beforeEach(ExtensionContext context) {
        open(context, context.getRequiredTestMethod(),
            "method " + context.getRequiredTestClass().getName() + "." + context.getRequiredTestMethod().getName() + "()");
    }

    @Override
    public void afterEach(ExtensionContext context) {
        close(context, context.getRequiredTestMethod());
    }

    private static void open(ExtensionContext context, AnnotatedElement element, String where) {
        Changes changes = Changes.declaredOn(element, where);
        if (!changes.isEmpty()) {
            context.getStore(NAMESPACE).put(element, changes.apply());
        }
    }

    private static void close(ExtensionContext context, AnnotatedElement element) {
        EnvironmentScope scope = context.getStore(NAMESPACE).remove(element, EnvironmentScope.class);
        if (scope != null) {
            scope.close();
        }
    }
}
