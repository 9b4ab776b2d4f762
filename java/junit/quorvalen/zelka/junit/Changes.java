// What the annotations of a test method or class ask of the environment, found as JUnit finds annotations, and checked before anything changes.
package quorvalen.zelka.junit;

import java.lang.annotation.Annotation;
import java.lang.reflect.AnnotatedElement;
import java.lang.reflect.Method;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashSet;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Set;
import org.junit.jupiter.api.extension.ExtensionConfigurationException;
import quorvalen.zelka.EnvironmentScope;

/**
 * The variables set (a value) and cleared (null) by annotations, by name, and whether the whole
 * environment is to be put back. An element's annotations are those on it, inside their
 * containers, and on the annotations it carries (composed ones), at any depth. A class's are its
 * own, then its interfaces', then its superclass's and theirs, the nearest declaration of a name
 * winning; a name twice on one element is refused.
 */
final class Changes {
    private final Map<String, String> values = new LinkedHashMap<>();
    private boolean restoreEverything;

    private Changes() {
    }

    /** What the method's own annotations ask. */
    static Changes onMethod(Method method) {
        Changes changes = new Changes();
        changes.addDeclaredOn(method, "method " + method.getDeclaringClass().getName() + "." + method.getName() + "()");
        return changes;
    }

    /** What the class asks, through itself, its interfaces and its superclasses. */
    static Changes onClass(Class<?> type) {
        Changes changes = new Changes();
        changes.addHierarchy(type, new HashSet<>());
        return changes;
    }

    /** What a test starts from in the classes it runs in, innermost first: each one's values over those outside it. */
    static Changes forTestsIn(List<Class<?>> classes) {
        Changes changes = new Changes();
        for (Class<?> type : classes) {
            Changes enclosing = onClass(type);
            changes.restoreEverything |= enclosing.restoreEverything;
            changes.addFarther(enclosing.values);
        }
        return changes;
    }

    private void addHierarchy(Class<?> type, Set<Class<?>> seen) {
        if (type == null || type == Object.class || !seen.add(type)) {
            return;
        }
        addDeclaredOn(type, "class " + type.getName());
        for (Class<?> implemented : type.getInterfaces()) {
            addHierarchy(implemented, seen);
        }
        addHierarchy(type.getSuperclass(), seen);
    }

    /**
     * Adds the element's own declarations of names not yet declared nearer.
     *
     * @throws ExtensionConfigurationException when a name or value cannot be set, or a name is set
     *     or cleared twice on the element, naming the annotation, the name and `where`
     */
    private void addDeclaredOn(AnnotatedElement element, String where) {
        List<Annotation> found = new ArrayList<>();
        collect(element, found, new HashSet<>());
        Set<String> named = new HashSet<>();
        Map<String, String> own = new LinkedHashMap<>();
        for (Annotation annotation : found) {
            if (annotation instanceof SetEnvironmentVariable) {
                SetEnvironmentVariable set = (SetEnvironmentVariable) annotation;
                String text = "@SetEnvironmentVariable(name = " + quoted(set.name()) + ", value = " + quoted(set.value()) + ")";
                requireName(set.name(), text, where, named);
                if (set.value().indexOf('\0') >= 0) {
                    throw refused(text, where, "the value contains U+0000");
                }
                own.put(set.name(), set.value());
            } else if (annotation instanceof ClearEnvironmentVariable) {
                ClearEnvironmentVariable clear = (ClearEnvironmentVariable) annotation;
                requireName(clear.name(), "@ClearEnvironmentVariable(name = " + quoted(clear.name()) + ")", where, named);
                own.put(clear.name(), null);
            } else {
                restoreEverything = true;
            }
        }
        addFarther(own);
    }

    /** Adds what a farther declaration asks of names not declared nearer; a clear is a null value. */
    private void addFarther(Map<String, String> farther) {
        for (Map.Entry<String, String> value : farther.entrySet()) {
            if (!values.containsKey(value.getKey())) {
                values.put(value.getKey(), value.getValue());
            }
        }
    }

    /** The annotations of this artifact on `element`: there, in their containers, or on annotations it carries. */
    private static void collect(AnnotatedElement element, List<Annotation> found, Set<Class<?>> visited) {
        for (Annotation annotation : element.getDeclaredAnnotations()) {
            if (annotation instanceof SetEnvironmentVariable || annotation instanceof ClearEnvironmentVariable
                || annotation instanceof RestoreEnvironment) {
                found.add(annotation);
            } else if (annotation instanceof SetEnvironmentVariable.List) {
                found.addAll(Arrays.asList(((SetEnvironmentVariable.List) annotation).value()));
            } else if (annotation instanceof ClearEnvironmentVariable.List) {
                found.addAll(Arrays.asList(((ClearEnvironmentVariable.List) annotation).value()));
            } else if (visited.add(annotation.annotationType())
                && !annotation.annotationType().getName().startsWith("java.lang.annotation.")) {
                collect(annotation.annotationType(), found, visited);
            }
        }
    }

    boolean isEmpty() {
        return values.isEmpty() && !restoreEverything;
    }

    boolean restoresEverything() {
        return restoreEverything;
    }

    /** These changes, and where `nearer` declares a name, its change instead; restoring if either does. */
    Changes under(Changes nearer) {
        Changes merged = new Changes();
        merged.values.putAll(values);
        merged.values.putAll(nearer.values);
        merged.restoreEverything = restoreEverything || nearer.restoreEverything;
        return merged;
    }

    /**
     * Makes the changes in a new scope, which the caller closes, restoring everything when asked or
     * declared; a change refused closes the scope at once.
     */
    EnvironmentScope apply(boolean restoringEverything) {
        EnvironmentScope scope = EnvironmentScope.open();
        try {
            if (restoringEverything || restoreEverything) {
                scope.restoringEverything();
            }
            for (Map.Entry<String, String> value : values.entrySet()) {
                if (value.getValue() == null) {
                    scope.clear(value.getKey());
                } else {
                    scope.set(value.getKey(), value.getValue());
                }
            }
        } catch (RuntimeException | Error refused) {
            scope.close();
            throw refused;
        }
        return scope;
    }

    private static void requireName(String name, String annotation, String where, Set<String> named) {
        String why = name.isEmpty() ? "the name is empty"
            : name.indexOf('=') >= 0 ? "the name contains '='"
            : name.indexOf('\0') >= 0 ? "the name contains U+0000"
            : !named.add(name) ? name + " is set or cleared more than once there"
            : null;
        if (why != null) {
            throw refused(annotation, where, why);
        }
    }

    private static ExtensionConfigurationException refused(String annotation, String where, String why) {
        return new ExtensionConfigurationException(annotation + " on " + where + ": " + why);
    }

    /** The text in Java's quotes, with U+0000 written as \0 so the message stays one readable line. */
    private static String quoted(String text) {
        return "\"" + text.replace("\0", "\\0") + "\"";
    }
}
