// The JUnit Jupiter extension behind the annotations: each test starts from its class's values, and everything changed is put back.
package quorvalen.zelka.junit;

import java.lang.reflect.AnnotatedElement;
import java.util.ArrayList;
import java.util.List;
import java.util.Optional;
import org.junit.jupiter.api.extension.AfterAllCallback;
import org.junit.jupiter.api.extension.AfterEachCallback;
import org.junit.jupiter.api.extension.BeforeAllCallback;
import org.junit.jupiter.api.extension.BeforeEachCallback;
import org.junit.jupiter.api.extension.ExtensionContext;
import quorvalen.zelka.EnvironmentLock;
import quorvalen.zelka.EnvironmentScope;

/**
 * Applies the {@link SetEnvironmentVariable}, {@link ClearEnvironmentVariable} and
 * {@link RestoreEnvironment} annotations, wherever JUnit's own search would find them, each
 * through an {@link EnvironmentScope}: a class's own before its {@code @BeforeAll} methods, put
 * back after its {@code @AfterAll} ones; and before each test (before its {@code @BeforeEach}
 * methods) the values of its class and of the classes around it again, then the method's, all put
 * back after the test. A class's {@code @RestoreEnvironment} puts back the whole environment at
 * each of those points. Each annotation registers the extension; there is no need to.
 */
public final class EnvironmentVariablesExtension
    implements BeforeAllCallback, AfterAllCallback, BeforeEachCallback, AfterEachCallback {
    /**
     * The key of the resource lock that tests changing the environment through these annotations
     * (and {@link WritesEnvironment}) hold for writing, and {@link ReadsEnvironment} for reading,
     * for use in a {@code @ResourceLock} of one's own.
     */
    public static final String LOCK = "quorvalen.zelka.environment";

    private static final ExtensionContext.Namespace NAMESPACE = ExtensionContext.Namespace.create(EnvironmentVariablesExtension.class);

    /** Made by JUnit, for each annotated class or method. */
    public EnvironmentVariablesExtension() {
    }

    @Override
    public void beforeAll(ExtensionContext context) throws InterruptedException {
        Class<?> type = context.getRequiredTestClass();
        Changes own = Changes.onClass(type);
        List<Class<?>> classes = runningClasses(context);
        boolean restoring = Changes.forTestsIn(classes).restoresEverything();
        if (!own.isEmpty() || restoring) {
            Class<?> within = classes.size() > 1 ? classes.get(1) : null;
            context.getStore(NAMESPACE).put(type, Applied.under(type, within, own, restoring));
        }
    }

    @Override
    public void afterAll(ExtensionContext context) {
        close(context, context.getRequiredTestClass());
    }

    @Override
    public void beforeEach(ExtensionContext context) throws InterruptedException {
        Changes changes = Changes.forTestsIn(runningClasses(context)).under(Changes.onMethod(context.getRequiredTestMethod()));
        if (!changes.isEmpty()) {
            context.getStore(NAMESPACE).put(context.getRequiredTestMethod(),
                Applied.under(context.getUniqueId(), context.getRequiredTestClass(), changes, false));
        }
    }

    @Override
    public void afterEach(ExtensionContext context) {
        close(context, context.getRequiredTestMethod());
    }

    /**
     * The classes that `context` runs in, innermost first. A {@code @Nested} class declared in a
     * superclass runs inside the subclass, which is not its enclosing class.
     */
    private static List<Class<?>> runningClasses(ExtensionContext context) {
        List<Class<?>> classes = new ArrayList<>();
        for (Optional<ExtensionContext> at = Optional.of(context); at.isPresent(); at = at.get().getParent()) {
            if (at.get().getTestClass().isPresent() && !at.get().getTestMethod().isPresent()) {
                classes.add(at.get().getTestClass().get());
            }
        }
        return classes;
    }

    private static void close(ExtensionContext context, AnnotatedElement element) {
        Applied applied = context.getStore(NAMESPACE).remove(element, Applied.class);
        if (applied != null) {
            applied.close();
        }
    }

    /**
     * Changes made under the process's {@link EnvironmentLock}, which JUnit 4's rule takes too:
     * JUnit's resource lock orders Jupiter's tests, this one them and the rule's in one JVM.
     */
    private static final class Applied {
        private final EnvironmentLock.Hold hold;
        private final EnvironmentScope scope;

        private Applied(EnvironmentLock.Hold hold, EnvironmentScope scope) {
            this.hold = hold;
            this.scope = scope;
        }

        static Applied under(Object holder, Object within, Changes changes, boolean restoring) throws InterruptedException {
            EnvironmentLock.Hold hold = EnvironmentLock.hold(holder, within);
            try {
                return new Applied(hold, changes.apply(restoring));
            } catch (RuntimeException | Error refused) {
                hold.close();
                throw refused;
            }
        }

        void close() {
            try {
                scope.close();
            } finally {
                hold.close();
            }
        }
    }
}
