// The JDK's own copy of the environment following every change, for every reader of it.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.TreeMap;
import java.util.concurrent.ConcurrentLinkedQueue;
import java.util.function.Function;
import java.util.function.Supplier;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

class JdkViewTest {
    static final boolean EMULATED = !ChildProcessTest.LAUNCHER.isEmpty();

    /** Child JVM entry: sets NAME=VALUE through the library, then prints what the JDK's copy says. */
    public static void main(String[] args) {
        NativeTools.setenv(args[0], args[1]);
        System.out.println(NativeTools.followsInJdk() + " " + EnvProbe.escape(String.valueOf(System.getenv(args[0]))));
    }

    @AfterEach
    void stopFollowing() {
        NativeTools.followInJdk(false);
    }

    static List<Arguments> namesAndValues() {
        String[] names = {"ZK7J_JDK_ASCII", "ZK7J_JDK_\u0418\u041c\u042f", "ZK7J_JDK_\uD83D\uDD11"};
        String[] values = {"plain", "\u041f\u0440\u0438\u0432\u0435\u0442, \u4e16\u754c", "\uD83D\uDE00",
            "unpaired \uD800 and \uDFFF", "a=b"};
        List<Arguments> all = new ArrayList<>();
        for (String name : names) {
            for (String value : values) {
                all.add(Arguments.of(name, value));
            }
        }
        return all;
    }

    /** What every reader of the JDK's copy says of `name`, which must be `value` (null: unset). */
    static void assertEveryReaderSees(String name, String value, int size) throws Exception {
        assertEquals(value, System.getenv(name), "System.getenv(name)");
        Map<String, String> jdk = System.getenv();
        assertEquals(value, jdk.get(name), "System.getenv().get");
        assertEquals(value != null, jdk.containsKey(name), "System.getenv().containsKey");
        assertEquals(size, jdk.size(), "System.getenv().size");
        assertEquals(value, iterated(jdk).get(name), "System.getenv() iterated");
        assertEquals(value, new ProcessBuilder().environment().get(name), "a new builder's environment()");
        // A builder whose environment() was touched hands its child the JDK's map, bytes and all.
        ProcessBuilder touched = new ProcessBuilder("env", "-0");
        touched.environment().put("ZK7J_JDK_TOUCHED", "yes");
        Map<String, String> child = EnvironmentTest.inheritedBy(touched);
        assertEquals(value, child.get(name), "the child of a touched builder");
        assertEquals("yes", child.get("ZK7J_JDK_TOUCHED"));
    }

    static Map<String, String> iterated(Map<String, String> map) {
        Map<String, String> copy = new HashMap<>();
        for (Map.Entry<String, String> entry : map.entrySet()) {
            copy.put(entry.getKey(), entry.getValue());
        }
        return copy;
    }

    @ParameterizedTest
    @MethodSource("namesAndValues")
    @Tag("architecture")
    void everyReaderOfTheJdksCopySeesSetReplaceAndRemove(String name, String value) throws Exception {
        NativeTools.followInJdk(true);
        assertTrue(NativeTools.followsInJdk());
        int size = System.getenv().size();
        assertTrue(NativeTools.setenv(name, "before"));
        assertEveryReaderSees(name, "before", size + 1);
        assertTrue(NativeTools.putenv(name + "=" + value));
        assertEveryReaderSees(name, value, size + 1);
        assertTrue(NativeTools.unsetenv(name));
        assertEveryReaderSees(name, null, size);
    }

    @Test
    void aNameWithAnUnpairedSurrogateIsListedAndInheritedButNoJdkLookupFindsIt() throws Exception {
        NativeTools.followInJdk(true);
        String name = "ZK7J_JDK_\uD800";
        assertTrue(NativeTools.setenv(name, "listed"));
        assertNull(System.getenv(name), "the JDK looks up ZK7J_JDK_? instead");
        assertEquals("listed", iterated(System.getenv()).get(name));
        ProcessBuilder touched = new ProcessBuilder("env", "-0");
        touched.environment().put("ZK7J_JDK_TOUCHED", "yes");
        assertEquals("listed", EnvironmentTest.inheritedBy(touched).get(name));
        assertEquals("listed", NativeTools.getenv(name));
        assertTrue(NativeTools.unsetenv(name));
        assertFalse(iterated(System.getenv()).containsKey(name));
    }

    @Test
    @Tag("architecture")
    void switchingOnBringsTheJdksCopyToTheEnvironmentAsItIs() throws Exception {
        NativeTools.followInJdk(true);
        assertTrue(NativeTools.setenv("ZK7J_JDK_STALE", "seen by the JDK"));
        NativeTools.followInJdk(false);
        assertFalse(NativeTools.followsInJdk());
        assertTrue(NativeTools.unsetenv("ZK7J_JDK_STALE"));
        assertTrue(NativeTools.setenv("ZK7J_JDK_LATE", "\u041f\u0440\u0438 \uDC00"));
        assertEquals("seen by the JDK", System.getenv("ZK7J_JDK_STALE"), "switched off, the copy stays as it was");
        assertNull(System.getenv("ZK7J_JDK_LATE"));
        NativeTools.followInJdk(true);
        assertNull(System.getenv("ZK7J_JDK_STALE"));
        assertEquals("\u041f\u0440\u0438 \uDC00", System.getenv("ZK7J_JDK_LATE"));
        assertEquals(NativeTools.environment(), new TreeMap<>(System.getenv()));
        assertTrue(NativeTools.unsetenv("ZK7J_JDK_LATE"));
    }

    @Test
    void thePropertySwitchesOnWhenTheClassInitialisesAndRefusesOtherValues() throws Exception {
        String[][] cases = {
            // the property's value, then the child's status and the start of its output
            {"follow", "0", "true \\u041f\\u0440\\u0438 \\ud83d\\ude00\n"},
            {"snapshot", "0", "false null\n"},
            {"", "1", ""},
            {"yes", "1", ""},
        };
        for (String[] c : cases) {
            ChildProcessTest.Finished child = ChildProcessTest.run(ChildProcessTest.childJvmWith(
                new String[] {"-Xcheck:jni", "-Dzknative7.jdkView=" + c[0]}, JdkViewTest.class.getName(),
                "ZK7J_JDK_PROPERTY", "\u041f\u0440\u0438 \uD83D\uDE00"));
            String label = c[0] + ": " + child.text() + child.err;
            assertEquals(Integer.parseInt(c[1]), child.status, label);
            assertTrue(child.text().startsWith(c[2]), label);
            if (child.status != 0) {
                assertTrue(child.err.contains("-Dzknative7.jdkView=" + c[0] + ": must be follow or snapshot"), label);
            }
        }
    }

    /**
     * While one thread adds, replaces and removes thousands of other names, growing the map past
     * several doublings of a HashMap and back, readers of the JDK's copy never miss a variable nobody
     * touches, and an iteration meets no name twice: lookups, iterations, builders and children started.
     */
    @Test
    @Tag("architecture")
    void readersOfTheJdksCopyNeverMissAVariableNobodyChanges() throws Exception {
        Map<String, String> untouched = new TreeMap<>();
        for (int k = 0; k < 6; k++) {
            untouched.put("ZK7J_JDK_KEEP_" + k, NativeToolsTest.repeat("\u4e2d" + k, 1 + 20 * k));
            assertTrue(NativeTools.setenv("ZK7J_JDK_KEEP_" + k, untouched.get("ZK7J_JDK_KEEP_" + k)));
        }
        NativeTools.followInJdk(true);
        // From about a hundred names to thousands: a HashMap's table would double six times. Under
        // emulation, where only the memory order can differ, fewer.
        int names = EMULATED ? 500 : 6000;
        ConcurrentLinkedQueue<String> faults = new ConcurrentLinkedQueue<>();
        Race race = new Race()
            .racer("writer", EMULATED ? 3000 : 3 * names, i -> {
                String name = "ZK7J_JDK_CHURN_" + i % names;
                assertTrue(i / names % 3 == 2 ? NativeTools.unsetenv(name) : NativeTools.setenv(name, "v" + i));
            })
            .racer("lookups", EMULATED ? 5000 : 100000, i -> {
                String name = "ZK7J_JDK_KEEP_" + i % untouched.size();
                String seen = System.getenv(name);
                if (!untouched.get(name).equals(seen)) {
                    faults.add("System.getenv(" + name + ") gave " + seen);
                }
            })
            .racer("iterations", EMULATED ? 100 : 1000, i -> {
                Set<String> met = new HashSet<>();
                for (Map.Entry<String, String> variable : System.getenv().entrySet()) {
                    if (!met.add(variable.getKey())) {
                        faults.add("iterating System.getenv() met " + variable.getKey() + " twice");
                    }
                }
                missing(untouched, iterated(System.getenv()), "iterating System.getenv()", faults);
            })
            .racer("builders", EMULATED ? 100 : 1000, i -> missing(untouched, new ProcessBuilder().environment(), "a builder's environment()", faults))
            .racer("children", EMULATED ? 3 : 20, i -> {
                ProcessBuilder touched = new ProcessBuilder("true");
                touched.environment().put("ZK7J_JDK_TOUCHED", "yes");
                int status = touched.start().waitFor();
                if (status != 0) {
                    faults.add("a child exited with " + status);
                }
            });
        race.run();
        assertEquals(new ArrayList<String>(), new ArrayList<>(faults).subList(0, Math.min(5, faults.size())),
            faults.size() + " faults in " + race.millis() + " ms");
        for (int n = 0; n < names; n++) {
            assertTrue(NativeTools.unsetenv("ZK7J_JDK_CHURN_" + n));
        }
        assertEquals(NativeTools.environment(), new TreeMap<>(System.getenv()));
        for (String name : untouched.keySet()) {
            assertTrue(NativeTools.unsetenv(name));
        }
    }

    static void missing(Map<String, String> expected, Map<String, String> seen, String reader, ConcurrentLinkedQueue<String> faults) {
        for (Map.Entry<String, String> variable : expected.entrySet()) {
            if (!variable.getValue().equals(seen.get(variable.getKey()))) {
                faults.add(reader + " gave " + variable.getKey() + "=" + seen.get(variable.getKey()));
            }
        }
    }

    @Test
    void aShapeThatLacksAMemberIsRefusedNamingTheJdkAndChangesNothing() throws Exception {
        Object[][] cases = {
            {UnfollowableShapes.NoEnvironment.class, "has no static field theEnvironment"},
            {UnfollowableShapes.EnvironmentNotStatic.class, "has no static field theEnvironment"},
            {UnfollowableShapes.EnvironmentOfAnotherType.class, ".theEnvironment is a java.util.Map, not a java.util.HashMap"},
            {UnfollowableShapes.NoVariableClass.class, "it has no class " + UnfollowableShapes.NoVariableClass.class.getName() + "$Variable"},
            {UnfollowableShapes.VariableNotMadeFromBytes.class, "$Variable has no constructor (String, byte[])"},
            {UnfollowableShapes.CaseInsensitiveNotAMap.class, ".theCaseInsensitiveEnvironment is no static map"},
        };
        for (boolean following : new boolean[] {false, true}) {
            NativeTools.followInJdk(following);
            for (Object[] c : cases) {
                Class<?> shape = (Class<?>) c[0];
                UnsupportedOperationException refused = assertThrows(UnsupportedOperationException.class,
                    () -> NativeTools.follow(JdkShape.of(shape)), shape.getName());
                assertTrue(refused.getMessage().startsWith("cannot follow the JDK's copy of the environment on Java "
                    + System.getProperty("java.runtime.version") + " ("), refused.getMessage());
                assertTrue(refused.getMessage().endsWith((String) c[1]), refused.getMessage());
                assertEquals(following, NativeTools.followsInJdk(), shape.getName());
            }
            assertTrue(NativeTools.setenv("ZK7J_JDK_STILL", "set"));
            assertEquals(following ? "set" : null, System.getenv("ZK7J_JDK_STILL"), "following as before");
            assertTrue(NativeTools.unsetenv("ZK7J_JDK_STILL"));
        }
    }

    /** A change the followed copy cannot take stands; following stops, and the caller is told why. */
    @Test
    void aCopyThatCannotFollowAChangeStopsFollowingAndTheChangeStands() {
        NativeTools.follow(JdkShape.of(UnfollowableShapes.RefusesOneName.class));
        assertTrue(NativeTools.followsInJdk());
        assertTrue(NativeTools.setenv("ZK7J_JDK_TAKEN", "taken"));
        IllegalStateException told = assertThrows(IllegalStateException.class,
            () -> NativeTools.setenv(UnfollowableShapes.RefusesOneName.REFUSED, "set"));
        assertTrue(told.getMessage().contains("could not follow"), told.getMessage());
        assertEquals("no room for " + UnfollowableShapes.RefusesOneName.REFUSED, told.getCause().getMessage());
        assertEquals("set", NativeTools.getenv(UnfollowableShapes.RefusesOneName.REFUSED), "the change stands");
        assertFalse(NativeTools.followsInJdk(), "no longer follows");
        assertTrue(NativeTools.unsetenv(UnfollowableShapes.RefusesOneName.REFUSED));
        assertTrue(NativeTools.unsetenv("ZK7J_JDK_TAKEN"));
    }

    /** A put-back the followed copy cannot take leaves the scope's other names put back all the same. */
    @Test
    void aScopeWhosePutBackCannotBeFollowedPutsBackTheRest() {
        NativeTools.follow(JdkShape.of(UnfollowableShapes.RefusesOneName.class));
        EnvironmentScope scope = EnvironmentScope.open().set("ZK7J_JDK_FIRST", "first");
        assertThrows(IllegalStateException.class, () -> scope.set(UnfollowableShapes.RefusesOneName.REFUSED, "set"));
        assertTrue(NativeTools.unsetenv(UnfollowableShapes.RefusesOneName.REFUSED));
        NativeTools.follow(JdkShape.of(UnfollowableShapes.RefusesOneName.class));
        scope.set("ZK7J_JDK_LAST", "last");
        IllegalStateException told = assertThrows(IllegalStateException.class, scope::close);
        assertTrue(told.getMessage().contains("could not follow"), told.getMessage());
        for (String name : new String[] {"ZK7J_JDK_FIRST", "ZK7J_JDK_LAST", UnfollowableShapes.RefusesOneName.REFUSED}) {
            assertNull(NativeTools.getenv(name), name);
        }
    }

    /** The Windows shape, followed where no Windows JVM runs: names matched as Windows matches them. */
    @Test
    void aWindowsShapedCopyFollowsWithNamesOfAnyCase() throws Exception {
        Map<String, String> before = new TreeMap<>(WindowsShapedEnvironment.NAME_ORDER);
        before.putAll(NativeTools.environment());
        NativeTools.follow(JdkShape.of(WindowsShapedEnvironment.class));
        assertEquals(before, WindowsShapedEnvironment.getenv());
        Object[][] steps = {
            // the assignment, then the name looked up and its value, then the name the exact map holds
            {"Zk7J_Jdk_Case=one", "ZK7J_JDK_CASE", "one", "Zk7J_Jdk_Case"},
            {"ZK7J_JDK_CASE=\u041f\u0440\u0438 \uD83D\uDE00 \uD800", "zk7j_jdk_case", "\u041f\u0440\u0438 \uD83D\uDE00 \uD800", "ZK7J_JDK_CASE"},
            {"zk7j_jdk_CASE=", "Zk7J_Jdk_Case", null, null},
        };
        for (Object[] step : steps) {
            assertTrue(NativeTools.putenv((String) step[0]));
            String label = (String) step[0];
            assertEquals(step[2], WindowsShapedEnvironment.getenv((String) step[1]), label);
            List<String> spellings = new ArrayList<>();
            for (String name : WindowsShapedEnvironment.getenv().keySet()) {
                if (name.equalsIgnoreCase("ZK7J_JDK_CASE")) {
                    spellings.add(name);
                }
            }
            assertEquals(step[3] == null ? Arrays.asList() : Arrays.asList(step[3]), spellings, label);
            assertEquals(step[2], WindowsShapedEnvironment.environment().get(step[3]), label);
        }
        assertFalse(System.getenv().containsKey("ZK7J_JDK_CASE"), "the JDK's own copy is not followed meanwhile");
        // This host matched the names exactly, so two of them are set.
        assertTrue(NativeTools.unsetenv("Zk7J_Jdk_Case"));
        assertTrue(NativeTools.unsetenv("ZK7J_JDK_CASE"));
    }

    @Test
    void readersOfAWindowsShapedCopyNeverMissAVariableNobodyChanges() throws Exception {
        Map<String, String> untouched = new TreeMap<>();
        for (int k = 0; k < 6; k++) {
            untouched.put("ZK7J_WIN_KEEP_" + k, "\u4e2d" + k);
            assertTrue(NativeTools.setenv("ZK7J_WIN_KEEP_" + k, untouched.get("ZK7J_WIN_KEEP_" + k)));
        }
        NativeTools.follow(JdkShape.of(WindowsShapedEnvironment.class));
        ConcurrentLinkedQueue<String> faults = new ConcurrentLinkedQueue<>();
        Function<String, String> lookup = WindowsShapedEnvironment::getenv;
        Supplier<Map<String, String>> listing = WindowsShapedEnvironment::getenv;
        Race race = new Race()
            .racer("writer", 20000, i -> {
                String name = "ZK7J_WIN_CHURN_" + i % 2000;
                assertTrue(i / 2000 % 3 == 2 ? NativeTools.unsetenv(name) : NativeTools.setenv(name, "v" + i));
            })
            .racer("lookups", 100000, i -> {
                String name = "zk7j_win_keep_" + i % untouched.size();
                String seen = lookup.apply(name);
                if (!untouched.get(name.toUpperCase(Locale.ROOT)).equals(seen)) {
                    faults.add("getenv(" + name + ") gave " + seen);
                }
            })
            .racer("iterations", 1000, i -> missing(untouched, iterated(listing.get()), "iterating getenv()", faults))
            .racer("builders", 1000, i -> missing(untouched, WindowsShapedEnvironment.environment(), "environment()", faults));
        race.run();
        assertEquals(new ArrayList<String>(), new ArrayList<>(faults).subList(0, Math.min(5, faults.size())),
            faults.size() + " faults in " + race.millis() + " ms");
        for (int n = 0; n < 2000; n++) {
            assertTrue(NativeTools.unsetenv("ZK7J_WIN_CHURN_" + n));
        }
        for (String name : untouched.keySet()) {
            assertTrue(NativeTools.unsetenv(name));
        }
        assertNotNull(WindowsShapedEnvironment.getenv("PATH"));
        Map<String, String> now = new TreeMap<>(WindowsShapedEnvironment.NAME_ORDER);
        now.putAll(NativeTools.environment());
        assertEquals(now, WindowsShapedEnvironment.getenv());
    }
}
