// What one test class or method's annotations ask of the environment, checked before anything changes.
package quorvalen.zelka.junit;

import java.lang.reflect.AnnotatedElement;
import java.util.ArrayList;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import org.junit.jupiter.api.extension.ExtensionConfigurationException;
import quorvalen.zelka.EnvironmentScope;

/** The variables set and cleared by one class's or method's own annotations, and whether to restore everything. */
final class Changes {
    private final List<String[]> sets = new ArrayList<>();
    private final List<String> clears = new ArrayList<>();
    private final boolean restoreEverything;

    private Changes(boolean restoreEverything) {
        this.restoreEverything = restoreEverything;
    }

    /**
     * The changes `element` asks for; `where` names it in an error.
     *
     * @throws ExtensionConfigurationException when a name or value cannot be set, or a name is set
     *     or cleared twice, naming the annotation, the name and `where`
     */
    static Changes declaredOn(AnnotatedElement element, String where) {
        Changes changes = new Changes(element.isAnnotationPresent(RestoreEnvironment.class));
        Set<String> named = new HashSet<>();
        for (SetEnvironmentVariable set : element.getAnnotationsByType(SetEnvironmentVariable.class)) {
            String annotation = "@SetEnvironmentVariable(name = " + quoted(set.name()) + ", value = " + quoted(set.value()) + ")";
            requireName(set.name(), annotation, where, named);
            if (set.value().indexOf('\0') >= 0) {
                throw refused(annotation, where, "the value contains U+0000");
            }
            changes.sets.add(new String[] {set.name(), set.value()});
        }
        for (ClearEnvironmentVariable clear : element.getAnnotationsByType(ClearEnvironmentVariable.class)) {
            requireName(clear.name(), "@ClearEnvironmentVariable(name = " + quoted(clear.name()) + ")", where, named);
            changes.clears.add(clear.name());
        }
        return changes;
    }

    boolean isEmpty() {
        return sets.isEmpty() && clears.isEmpty() && !restoreEverything;
    }

    /** Makes the changes in a new scope, which the caller closes; a change refused closes it at once. */
    EnvironmentScope apply() {
        EnvironmentScope scope = EnvironmentScope.open();
        try {
            if (restoreEverything) {
                scope.restoringEverything();
            }
            for (String[] set : sets) {
                scope.set(set[0], set[1]);
            }
            for (String name : clears) {
                scope.clear(name);
            }
        } catch (RuntimeException refused) {
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
