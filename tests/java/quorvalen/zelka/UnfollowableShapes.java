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

    /** Of the Unix shape, but a variable of one name cannot be made, as when the JVM has no room for it. */
    static final class RefusesOneName {
        static final String REFUSED = "ZK7J_JDK_REFUSED";
        static final HashMap<Object, Object> theEnvironment = new HashMap<>();

        static final class Variable {
            Variable(String str, byte[] bytes) {
                if (str.equals(REFUSED)) {
                    throw new IllegalStateException("no room for " + str);
                }
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
