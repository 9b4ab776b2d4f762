// The public API: exact, thread-safe reads and changes of this process's environment.
package quorvalen.zelka;

import java.lang.reflect.Field;
import java.util.Collections;
import java.util.Map;
import java.util.TreeMap;

/**
 * Exact, thread-safe access to the environment of the running process.
 *
 * <p>Names and values are full UTF-16: characters outside Latin-1, surrogate pairs and unpaired
 * surrogates come back exactly as they were set. Unlike {@link System#getenv(String)}, which reads a
 * snapshot taken at its first use, every call here sees the current environment, and variables set here
 * are inherited by child processes started afterwards. While {@link #followInJdk(boolean) followed},
 * the JDK's own copy, which {@code System.getenv} and {@code ProcessBuilder} read, shows every
 * change too.
 *
 * <p>Calls from any number of threads may overlap: assignments take one lock shared by every copy
 * of the library in the process, and no lookup ever reads memory an assignment frees. Changes never
 * break other readers on Linux (glibc's getenv, child processes). Native code elsewhere in the
 * process that changes the environment without going through this class is not ordered with it.
 *
 * <p>Assignments follow the Windows C runtime on every host: an empty value removes the variable,
 * and a name ends at its first {@code '='}. A string ends at its first U+0000.
 *
 * <p>The native library is loaded when this class initialises: this jar's copy for the running
 * platform, unless {@code -Dzknative7.library=FILE} names another ({@link #librarySource()} says
 * which). When it cannot be loaded, the first use throws an {@link UnsatisfiedLinkError} whose
 * message names every place tried, or the {@code --enable-native-access} flag the JVM wants.
 */
public final class NativeTools {
    /** The property that, set to {@value #FOLLOW}, has the JDK's copy followed from the start. */
    static final String JDK_VIEW_PROPERTY = "zknative7.jdkView";
    static final String FOLLOW = "follow";
    static final String SNAPSHOT = "snapshot";
    /** What this copy of the library cannot share with the copy serving the process; null when it shares all. */
    static final String SERVING_NOTE;

    static {
        // The JDK copies the environment once, on the first System.getenv or process start, by
        // counting entries and then filling an array that long; variables added in between
        // overflow it and break every later process start. Taken now, it sees no change of ours.
        System.getenv();
        NativeLoader.load();
        SERVING_NOTE = servingCopy0();
        if (SERVING_NOTE != null) {
            System.err.println("zknative7: " + SERVING_NOTE);  // once for each copy of this class
        }
        String view = System.getProperty(JDK_VIEW_PROPERTY);
        if (FOLLOW.equals(view)) {
            try {
                followInJdk(true);
            } catch (UnsupportedOperationException cannot) {
                // Everything else still works; followsInJdk() tells those who rely on following.
                System.err.println("zknative7: -D" + JDK_VIEW_PROPERTY + "=" + FOLLOW + ": " + cannot.getMessage());
            }
        } else if (view != null && !view.equals(SNAPSHOT)) {
            throw new IllegalArgumentException("-D" + JDK_VIEW_PROPERTY + "=" + view + ": must be " + FOLLOW + " or " + SNAPSHOT);
        }
    }

    private NativeTools() {
    }

    /**
     * Says where the native library was loaded from: the file, and whether it was this jar's copy
     * (extracted to a folder of its own), the file named by {@code -Dzknative7.library}, or an
     * installed copy on {@code java.library.path} (only with {@code -Dzknative7.useLibraryPath=true}).
     *
     * @return for example {@code "this jar's linux-x86_64 copy: /tmp/zknative7-123/libzknative7.so"}
     */
    public static String librarySource() {
        return NativeLoader.source;
    }

    static native String getenv0(String name);

    /** getenv0 told the name's length, which saves the JVM a transition to measure it; null-safe. */
    static native String lookup0(String name, int length);

    static native boolean putenv0(String assignment);

    static native String[] environ0();

    static native String followJdk0(Field environment, Field caseInsensitive, Class<?> variable, Class<?> value);

    static native boolean followsJdk0();

    /** Every variable as the host holds it: each name's bytes, then its value's (UTF-16LE on Windows). */
    static native byte[][] heldEntries0();

    /** The variable the name names, as the host holds it: {name, value}, or empty when it is not set. */
    static native byte[][] heldVariable0(String name);

    /** Gives the variable exactly that value, an empty one too where the host can hold it; null removes it. */
    static native boolean putHeld0(byte[] name, byte[] value);

    /** What this copy cannot share with the copy of the library serving the process, or null. */
    static native String servingCopy0();

    /** Has each variable once in what a child started now inherits. */
    static native boolean compact0();

    /** Whether the host matches names without regard to case, as Windows does. */
    static final boolean NAMES_IGNORE_CASE = OsFamily.hostIsWindows();

    /**
     * Returns the current value of an environment variable.
     *
     * @param name the variable's name; it ends at its first U+0000
     * @return the value (possibly empty), or {@code null} when the variable is not set or the name
     *     is {@code null}, empty, or contains {@code '='}
     */
    public static String getenv(String name) {
        return name == null ? null : lookup0(name, name.length());
    }

    /**
     * Applies one assignment of the form {@code NAME=VALUE} to the environment of this process.
     *
     * <p>{@code NAME=VALUE} sets or replaces NAME; {@code NAME=} removes it (and succeeds when it was
     * not set). The name ends at the first {@code '='}, so the value may contain {@code '='}.
     * The assignment ends at its first U+0000.
     *
     * @param assignment the assignment
     * @return {@code true} when it was applied; {@code false} when it is {@code null}, has no
     *     {@code '='}, starts with {@code '='}, or the host refused it
     * @throws IllegalStateException when it was applied, but the JDK's copy, {@link #followInJdk
     *     followed}, could not follow it (the cause says why); the JDK's copy follows no more
     */
    public static boolean putenv(String assignment) {
        return putenv0(assignment);
    }

    /**
     * Sets or replaces an environment variable. An empty value removes the variable, on every host,
     * as the Windows C runtime does: no environment variable can hold an empty value through this
     * class.
     *
     * @param name the variable's name
     * @param value the new value; empty to remove the variable
     * @return {@code true} when the host applied the change
     * @throws IllegalArgumentException if the name is {@code null}, empty, or contains {@code '='}
     *     or U+0000, or the value is {@code null} or contains U+0000
     * @throws IllegalStateException as {@link #putenv} throws it
     */
    public static boolean setenv(String name, String value) {
        requireName(name);
        requireValue(value);
        return putenv0(name + '=' + value);
    }

    /**
     * Removes an environment variable. Removing a variable that is not set succeeds.
     *
     * @param name the variable's name
     * @return {@code true} when the host applied the change
     * @throws IllegalArgumentException if the name is {@code null}, empty, or contains {@code '='}
     *     or U+0000
     * @throws IllegalStateException as {@link #putenv} throws it
     */
    public static boolean unsetenv(String name) {
        requireName(name);
        return putenv0(name + '=');
    }

    /**
     * Returns the whole environment of this process as it is now: every variable once, its value
     * read exactly as {@link #getenv} reads it, including variables that other native code set and
     * inherited ones whose bytes the JVM could not decode (on Linux, bytes that are not UTF-8 read
     * as U+FFFD). Unlike {@link System#getenv()}, it is read now, not at the JVM's start.
     *
     * <p>The map is a snapshot: it cannot be changed, and later assignments do not change it. Its
     * lookups match names the way the host does, on Windows without regard to case, and it
     * iterates in the order of names (by UTF-16 code unit; on Windows without regard to case).
     *
     * <p>A child started by a {@link ProcessBuilder} whose {@code environment()} is left untouched
     * inherits this environment exactly. One whose environment must change starts from this map:
     *
     * <pre>{@code
     * ProcessBuilder builder = new ProcessBuilder("make", "install");
     * Map<String, String> environment = builder.environment();
     * environment.clear();
     * environment.putAll(NativeTools.environment());
     * environment.put("DESTDIR", "/tmp/stage");
     * }</pre>
     *
     * (The JDK then encodes the names and values by the platform's charset, so an unpaired
     * surrogate does not reach that child exactly.)
     *
     * @return every variable, by name
     * @throws OutOfMemoryError if the JVM or the native heap has no room for the copy
     */
    public static Map<String, String> environment() {
        String[] entries = environ0();
        if (entries == null) {
            throw new OutOfMemoryError("no room to copy the environment");
        }
        Map<String, String> variables = NAMES_IGNORE_CASE
            ? new TreeMap<String, String>(String.CASE_INSENSITIVE_ORDER) : new TreeMap<String, String>();
        for (String entry : entries) {
            int equals = entry.indexOf('=');
            variables.put(entry.substring(0, equals), entry.substring(equals + 1));
        }
        return Collections.unmodifiableMap(variables);
    }

    /**
     * Has the JDK's own copy of the environment follow every change, or stop following. That copy is
     * what {@link System#getenv(String)}, {@link System#getenv()} and a new {@link ProcessBuilder}'s
     * {@code environment()} read, and so what most Java code sees; left alone, it is a snapshot taken
     * at its first use. Switching on first brings it to the environment as it is now, whatever
     * changed it; from then on each successful {@link #setenv}, {@link #unsetenv} and {@link #putenv},
     * through any copy of this library in the process, changes it too, and no reader of it ever
     * misses a variable nobody changed. A child started by a builder whose {@code environment()} was
     * changed inherits each value's exact bytes as they are stored here. Switching off leaves the
     * copy as it is. {@code -Dzknative7.jdkView=follow} switches on when this class initialises;
     * where following cannot be, it says why on standard error, once, and leaves it off.
     *
     * <p>What the JDK's copy cannot hold exactly: a name with an unpaired surrogate is listed by
     * {@code System.getenv()} but found by no lookup, since the JDK encodes a looked-up name's
     * surrogate as {@code ?}; {@link #getenv} finds it. On Windows its case-sensitive map holds each
     * name as it was last set.
     *
     * <p>Following stops by itself when the JVM refuses a step of passing a change on (no room for
     * the copy, say): the change stands, the assignment throws an {@link IllegalStateException}
     * saying so, and {@link #followsInJdk()} answers {@code false}.
     *
     * @param follow whether the JDK's copy follows from now on
     * @throws UnsupportedOperationException if the JDK's copy is not made of what this relies on
     *     (the message names the Java version and what is missing), or an earlier version of this
     *     library serves the process; nothing is changed then
     */
    public static void followInJdk(boolean follow) {
        follow(follow ? JdkShape.ofThisJdk() : null);
    }

    /** Whether the JDK's own copy of the environment {@link #followInJdk(boolean) follows} every change. */
    public static boolean followsInJdk() {
        return followsJdk0();
    }

    /** Follows the copy of this shape, or none when it is null. */
    static void follow(JdkShape shape) {
        String failed = shape == null ? followJdk0(null, null, null, null)
            : followJdk0(shape.environment, shape.caseInsensitive, shape.variable, shape.value);
        if (failed != null) {
            throw JdkShape.cannotFollow("the native library could not reach " + failed);
        }
    }

    static void requireValue(String value) {
        if (value == null) {
            throw new IllegalArgumentException("value is null");
        }
        if (value.indexOf('\0') >= 0) {
            throw new IllegalArgumentException("value contains U+0000");
        }
    }

    static void requireName(String name) {
        if (name == null || name.isEmpty()) {
            throw new IllegalArgumentException("name is null or empty");
        }
        if (name.indexOf('=') >= 0) {
            throw new IllegalArgumentException("name contains '=': " + name);
        }
        if (name.indexOf('\0') >= 0) {
            throw new IllegalArgumentException("name contains U+0000");
        }
    }
}
