// NativeTools.environment(): the whole environment, as a child inherits it.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.IOException;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.concurrent.ConcurrentLinkedQueue;
import org.junit.jupiter.api.Assumptions;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;

/** NativeTools.environment(): the whole environment, exactly as a child inherits it. */
@Tag("architecture")
class EnvironmentTest {
    /**
     * Child JVM entry: with {@code --libc NAME=VALUE} first, sets that through libc; then says
     * whether its listing is what its own child inherits, and what it lists for each name.
     */
    public static void main(String[] args) throws Exception {
        int first = 0;
        if (args.length >= 2 && args[0].equals("--libc")) {
            int equals = args[1].indexOf('=');
            setThroughOtherNativeCode(args[1].substring(0, equals), args[1].substring(equals + 1));
            first = 2;
        }
        args = Arrays.copyOfRange(args, first, args.length);
        Map<String, String> listed = NativeTools.environment();
        System.out.println(listed.equals(inherited()) ? "same" : "differs: " + listed + " against " + inherited());
        for (String name : args) {
            System.out.println(EnvProbe.escape(name) + (listed.containsKey(name) ? "=" + EnvProbe.escape(listed.get(name)) : " unlisted"));
        }
    }

    /** The variables a child started now inherits, as {@code env -0} prints them, read as the library reads bytes. */
    static Map<String, String> inherited() throws IOException, InterruptedException {
        return inheritedBy(new ProcessBuilder("env", "-0"));
    }

    /** The same for a child of {@code builder}, which runs {@code env -0}. */
    static Map<String, String> inheritedBy(ProcessBuilder builder) throws IOException, InterruptedException {
        ChildProcessTest.Finished child = ChildProcessTest.run(builder);
        if (child.status != 0) {
            throw new IOException("env exited with " + child.status + ": " + child.err);
        }
        Map<String, String> variables = new TreeMap<>();
        int start = 0;
        for (int i = 0; i < child.out.length; i++) {
            if (child.out[i] == 0) {
                String entry = decode(child.out, start, i);
                int equals = entry.indexOf('=');
                if (equals > 0 && !variables.containsKey(entry.substring(0, equals))) {
                    variables.put(entry.substring(0, equals), entry.substring(equals + 1));  // the first, as lookups
                }
                start = i + 1;
            }
        }
        return variables;
    }

    /**
     * Bytes as the library reads them, written apart from its decoder to check it: UTF-8 and lone
     * surrogates' 3-byte forms exactly, any other ill-formed sequence one U+FFFD per maximal subpart.
     */
    static String decode(byte[] bytes, int from, int to) {
        StringBuilder text = new StringBuilder();
        int i = from;
        while (i < to) {
            int lead = bytes[i++] & 0xFF;
            if (lead < 0x80) {
                text.append((char) lead);
                continue;
            }
            int more;
            int low = 0x80;
            int high = 0xBF;
            int point;
            if (lead >= 0xC2 && lead <= 0xDF) {
                more = 1;
                point = lead & 0x1F;
            } else if (lead >= 0xE0 && lead <= 0xEF) {
                more = 2;
                point = lead & 0x0F;
                low = lead == 0xE0 ? 0xA0 : 0x80;
            } else if (lead >= 0xF0 && lead <= 0xF4) {
                more = 3;
                point = lead & 0x07;
                low = lead == 0xF0 ? 0x90 : 0x80;
                high = lead == 0xF4 ? 0x8F : 0xBF;
            } else {
                text.append('\uFFFD');
                continue;
            }
            boolean whole = true;
            for (; more > 0; more--) {
                int next = i < to ? bytes[i] & 0xFF : -1;
                if (next < low || next > high) {
                    whole = false;
                    break;
                }
                point = point << 6 | next & 0x3F;
                i++;
                low = 0x80;
                high = 0xBF;
            }
            text.append(whole ? new String(Character.toChars(point)) : "\uFFFD");
        }
        return text.toString();
    }

    /** libc's setenv called through JNA: native code other than this library. */
    static void setThroughOtherNativeCode(String name, String value) throws Exception {
        String jar = System.getProperty("zknative7.test.jna");
        ClassLoader jna = new URLClassLoader(new URL[] {new File(jar).toURI().toURL()}, null);
        Object libc = jna.loadClass("com.sun.jna.NativeLibrary").getMethod("getInstance", String.class).invoke(null, "c");
        Object setenv = libc.getClass().getMethod("getFunction", String.class).invoke(libc, "setenv");
        Method invoke = setenv.getClass().getMethod("invokeInt", Object[].class);
        assertEquals(0, invoke.invoke(setenv, (Object) new Object[] {name, value, 1}));
    }

    @Test
    void theListingIsWhatAChildInherits() throws Exception {
        assertTrue(NativeTools.setenv("ZK7J_ENV_\u0418\u041c\u042f", "\u041f\u0440\u0438 \uD83D\uDE00 \uD800"));
        assertTrue(NativeTools.setenv("ZK7J_ENV_GONE", "soon"));
        assertTrue(NativeTools.unsetenv("ZK7J_ENV_GONE"));
        Map<String, String> listed = NativeTools.environment();
        assertEquals(inherited(), listed);
        assertEquals("\u041f\u0440\u0438 \uD83D\uDE00 \uD800", listed.get("ZK7J_ENV_\u0418\u041c\u042f"));
        assertFalse(listed.containsKey("ZK7J_ENV_GONE"));
        assertEquals(System.getenv("PATH"), listed.get("PATH"));
        assertThrows(UnsupportedOperationException.class, () -> listed.put("ZK7J_ENV_X", "x"));
        assertTrue(NativeTools.unsetenv("ZK7J_ENV_\u0418\u041c\u042f"));
        assertFalse(NativeTools.environment().containsKey("ZK7J_ENV_\u0418\u041c\u042f"), "a snapshot read again is current");
    }

    @Test
    void variablesOtherNativeCodeSetAreListed() throws Exception {
        String jar = System.getProperty("zknative7.test.jna");
        Assumptions.assumeTrue(jar != null && new File(jar).isFile(), "no JNA for this JVM");
        // JNA's own JNI calls do not pass -Xcheck:jni, so its JVM goes without.
        ChildProcessTest.Finished child = ChildProcessTest.run(ChildProcessTest.childJvmWith(
            new String[] {"-Dzknative7.test.jna=" + jar, "-Djna.boot.library.path=" + System.getProperty("jna.boot.library.path")},
            "quorvalen.zelka.EnvironmentTest", "--libc", "ZK7J_ENV_NATIVE=set by libc", "ZK7J_ENV_NATIVE"));
        assertEquals(0, child.status, child.err);
        assertEquals("same\nZK7J_ENV_NATIVE=set by libc\n", child.text(), child.err);
    }

    @Test
    void inheritedBytesTheJvmCouldNotDecodeAreListedAsLookupsReadThem() throws Exception {
        // A Latin-1 name and value, which no Java string can set, from the shell.
        List<String> command = new ArrayList<>(Arrays.asList("/bin/sh", "-c",
            "exec env \"ZK7J_CAF$(printf '\\351')=$(printf 'caf\\351')\" ZK7J_EMPTY= \"$@\"", "sh"));
        command.addAll(ChildProcessTest.childJvm("quorvalen.zelka.EnvironmentTest", "ZK7J_CAF\uFFFD", "ZK7J_EMPTY"));
        ChildProcessTest.Finished child = ChildProcessTest.run(command);
        assertEquals(0, child.status, child.err);
        assertEquals("same\nZK7J_CAF\\ufffd=caf\\ufffd\nZK7J_EMPTY=\n", child.text(), child.err);
        ChildProcessTest.assertNoJniWarning(child);
    }

    @Test
    void listingsWhileEightThreadsChangeTheEnvironmentNeverMissAnUntouchedVariable() throws Exception {
        Map<String, String> untouched = new TreeMap<>();
        for (int k = 0; k < 8; k++) {
            untouched.put("ZK7J_ENV_KEEP_" + k, NativeToolsTest.repeat("\u4e2d\uD83D\uDE00" + k, 1 + 30 * k));
            assertTrue(NativeTools.setenv("ZK7J_ENV_KEEP_" + k, untouched.get("ZK7J_ENV_KEEP_" + k)));
        }
        ConcurrentLinkedQueue<String> faults = new ConcurrentLinkedQueue<>();
        Race race = new Race();
        for (int t = 0; t < 8; t++) {
            String own = "ZK7J_ENV_CHURN_" + t + "_";
            race.racer("changing thread " + t, 2000, i -> {
                String name = own + (i % 50);
                boolean applied = i % 3 == 2 ? NativeTools.unsetenv(name) : NativeTools.setenv(name, "v" + i);
                if (!applied) {
                    ConcurrencyTest.fault(faults, "refused " + name);
                }
            });
        }
        race.racer("the listing thread", 200, i -> {
            Map<String, String> listed = NativeTools.environment();
            for (Map.Entry<String, String> variable : untouched.entrySet()) {
                if (!variable.getValue().equals(listed.get(variable.getKey()))) {
                    ConcurrencyTest.fault(faults, variable.getKey() + " listed as " + listed.get(variable.getKey()));
                }
            }
        });
        long[] rounds = race.run();
        System.out.printf("listings during changes: %s rounds in %d ms%n", Arrays.toString(rounds), race.millis());
        assertEquals(new ArrayList<String>(), new ArrayList<>(faults));
        for (String name : NativeTools.environment().keySet()) {
            if (name.startsWith("ZK7J_ENV_")) {
                assertTrue(NativeTools.unsetenv(name));
            }
        }
    }
}
