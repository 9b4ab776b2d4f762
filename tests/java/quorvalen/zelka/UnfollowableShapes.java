// Classes that lack one thing each of what following the JDK's copy of the environment needs.
package quorvalen.zelka;

import java.util.HashMap;
import java.util.Map;

/** Each nested class lacks one member that a shape of ProcessEnvironment must have. */
final class UnfollowableShapes {
    private UnfollowableShapes() {
    }

    static final class NoEnvironment {
        static final Map<String, String> theUnmodifiableEnvironment = new HashMap<>();
    }

    static final class EnvironmentOfAnotherType {
        static final Map<String, String> theEnvironment = new HashMap<>();
    }

    static final class EnvironmentNotStatic {
        final HashMap<String, String> theEnvironment = new HashMap<>();
    }

    static final class NoVariableClass {
        static final HashMap<Object, Object> theEnvironment = new HashMap<>();

        static final class Value {
            Value(String str, byte[] bytes) {
            }
        }
    }

    static final class VariableNotMadeFromBytes {
        static final HashMap<Object, Object> theEnvironment = new HashMap<>();

        static final class Variable {
            Variable(String str) {
            }
        }

        static final class Value {
            Value(String str, byte[] bytes) {
            }
        }
    }

    static final class CaseInsensitiveNotAMap {
        static final HashMap<String, String> theEnvironment = new HashMap<>();
        static final String theCaseInsensitiveEnvironment = "";
    }
}
