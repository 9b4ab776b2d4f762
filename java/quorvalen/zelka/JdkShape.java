// What the JDK's own copy of the environment is made of, found by name, or what it lacks.
package quorvalen.zelka;

import java.lang.reflect.Field;
import java.lang.reflect.Modifier;
import java.util.HashMap;
import java.util.Map;
import java.util.TreeMap;

/**
 * The members of {@code java.lang.ProcessEnvironment} (or a class of the same shape) that hold the
 * JDK's copy of the environment. They are only looked up here, which needs no access; the native
 * library reads and writes them. On Unix {@code theEnvironment} is a {@code HashMap} of the nested
 * classes {@code Variable} and {@code Value}, each made from a String and its bytes; on Windows it is
 * a {@code HashMap<String, String>}, and {@code theCaseInsensitiveEnvironment} a {@code TreeMap}
 * that lookups by name use.
 */
final class JdkShape {
    static final String JDK_CLASS = "java.lang.ProcessEnvironment";

    /** The static field of the map that {@code System.getenv()} shows. */
    final Field environment;
    /** The Windows shape's static field of its case-insensitive map; null on the Unix shape. */
    final Field caseInsensitive;
    /** The Unix shape's key and value classes; null on the Windows shape. */
    final Class<?> variable;
    final Class<?> value;

    private JdkShape(Field environment, Field caseInsensitive, Class<?> variable, Class<?> value) {
        this.environment = environment;
        this.caseInsensitive = caseInsensitive;
        this.variable = variable;
        this.value = value;
    }

    /** The running JDK's shape. */
    static JdkShape ofThisJdk() {
        try {
            return of(Class.forName(JDK_CLASS));
        } catch (ClassNotFoundException e) {
            throw cannotFollow("it has no class " + JDK_CLASS);
        }
    }

    /**
     * The shape of {@code holder}'s statics.
     *
     * @throws UnsupportedOperationException naming the JDK and the member it lacks
     */
    static JdkShape of(Class<?> holder) {
        Field environment = staticField(holder, "theEnvironment");
        if (!HashMap.class.isAssignableFrom(environment.getType())) {
            throw cannotFollow(holder.getName() + ".theEnvironment is a " + environment.getType().getName()
                + ", not a java.util.HashMap");
        }
        requireFields(HashMap.class, "table", "size", "threshold");
        Field caseInsensitive = declaredField(holder, "theCaseInsensitiveEnvironment");
        if (caseInsensitive != null) {
            if (!Modifier.isStatic(caseInsensitive.getModifiers()) || !Map.class.isAssignableFrom(caseInsensitive.getType())) {
                throw cannotFollow(holder.getName() + ".theCaseInsensitiveEnvironment is no static map");
            }
            requireFields(TreeMap.class, "root", "size");
            return new JdkShape(environment, caseInsensitive, null, null);
        }
        return new JdkShape(environment, null, madeFromBytes(holder, "Variable"), madeFromBytes(holder, "Value"));
    }

    /** Why following failed, naming the JDK it runs on. */
    static UnsupportedOperationException cannotFollow(String why) {
        return new UnsupportedOperationException("cannot follow the JDK's copy of the environment on Java "
            + System.getProperty("java.runtime.version") + " (" + System.getProperty("java.vendor") + "): " + why);
    }

    private static Field declaredField(Class<?> holder, String name) {
        try {
            return holder.getDeclaredField(name);
        } catch (NoSuchFieldException e) {
            return null;
        }
    }

    private static Field staticField(Class<?> holder, String name) {
        Field field = declaredField(holder, name);
        if (field == null || !Modifier.isStatic(field.getModifiers())) {
            throw cannotFollow(holder.getName() + " has no static field " + name);
        }
        return field;
    }

    private static void requireFields(Class<?> holder, String... names) {
        for (String name : names) {
            if (declaredField(holder, name) == null) {
                throw cannotFollow(holder.getName() + " has no field " + name);
            }
        }
    }

    /** The nested class {@code name} of {@code holder}, when it has a constructor (String, byte[]). */
    private static Class<?> madeFromBytes(Class<?> holder, String name) {
        String nested = holder.getName() + "$" + name;
        try {
            Class<?> found = Class.forName(nested, false, holder.getClassLoader());
            found.getDeclaredConstructor(String.class, byte[].class);
            return found;
        } catch (ClassNotFoundException e) {
            throw cannotFollow("it has no class " + nested);
        } catch (NoSuchMethodException e) {
            throw cannotFollow(nested + " has no constructor (String, byte[])");
        }
    }
}
