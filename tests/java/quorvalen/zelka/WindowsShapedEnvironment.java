// A class of the shape a Windows JDK's ProcessEnvironment has, for following it where no Windows JVM runs.
package quorvalen.zelka;

import java.util.Collections;
import java.util.Comparator;
import java.util.HashMap;
import java.util.Map;
import java.util.TreeMap;

/**
 * Holds what a Windows JDK's {@code java.lang.ProcessEnvironment} holds, by the same names and
 * types, and reads it as that class does: a {@code HashMap<String, String>} subclass of the exact
 * names for {@code System.getenv()} and a builder's {@code environment()}, and a {@code TreeMap}
 * ordered by each unit upper-cased for lookups by name. It starts empty.
 */
final class WindowsShapedEnvironment extends HashMap<String, String> {
    private static final long serialVersionUID = 1L;

    /** The order of a Windows JDK's names: unit by unit, each upper-cased where they differ. */
    static final Comparator<String> NAME_ORDER = (a, b) -> {
        for (int i = 0; i < Math.min(a.length(), b.length()); i++) {
            char x = Character.toUpperCase(a.charAt(i));
            char y = Character.toUpperCase(b.charAt(i));
            if (x != y) {
                return x - y;
            }
        }
        return a.length() - b.length();
    };

    private static final WindowsShapedEnvironment theEnvironment = new WindowsShapedEnvironment();
    private static final Map<String, String> theUnmodifiableEnvironment = Collections.unmodifiableMap(theEnvironment);
    private static final Map<String, String> theCaseInsensitiveEnvironment = new TreeMap<>(NAME_ORDER);

    private WindowsShapedEnvironment() {
    }

    /** As System.getenv(name) reads it on Windows. */
    static String getenv(String name) {
        return theCaseInsensitiveEnvironment.get(name);
    }

    /** As System.getenv() reads it. */
    static Map<String, String> getenv() {
        return theUnmodifiableEnvironment;
    }

    /** As a new builder's environment() copies it. */
    @SuppressWarnings("unchecked")
    static Map<String, String> environment() {
        return (Map<String, String>) theEnvironment.clone();
    }
}
