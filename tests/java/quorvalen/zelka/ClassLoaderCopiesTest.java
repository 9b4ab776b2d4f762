// Two class loaders, two copies of the library: one environment and one lock between them.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNotSame;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeMap;
import java.util.TreeSet;
import java.util.concurrent.ConcurrentLinkedQueue;
import java.util.concurrent.atomic.AtomicLong;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;

/**
 * Two class loaders that each load the jar, as two applications in one container do: each gets a
 * copy of the library of its own, and both copies must act on one environment under one lock.
 */
@Tag("architecture")
class ClassLoaderCopiesTest {
    static final int ADDED_EACH = 3000;
    static final int CHURNED = 500;
    static final int ROUNDS = 12;
    static final int READS_EACH_ROUND = 200;

    /** NativeTools as loaded by a class loader of its own, called by reflection. */
    static final class Copy {
        final Class<?> tools;
        final String source;
        final Method getenv;
        final Method setenv;
        final Method unsetenv;
        final Method environment;
        final Method followInJdk;  // null in a version from before the JDK view
        final Method followsInJdk;

        Copy(URL jar) throws Exception {
            // No parent: nothing is shared with the test's own loader, not even through delegation.
            ClassLoader loader = new URLClassLoader(new URL[] {jar}, null);
            tools = Class.forName("quorvalen.zelka.NativeTools", true, loader);
            // "HOW: FILE", FILE the copy this loader loaded.
            String loadedFrom = (String) tools.getMethod("librarySource").invoke(null);
            source = loadedFrom.substring(loadedFrom.indexOf(": ") + 2);
            getenv = tools.getMethod("getenv", String.class);
            setenv = tools.getMethod("setenv", String.class, String.class);
            unsetenv = tools.getMethod("unsetenv", String.class);
            environment = tools.getMethod("environment");
            followInJdk = optional("followInJdk", boolean.class);
            followsInJdk = optional("followsInJdk");
        }

        private Method optional(String name, Class<?>... parameters) {
            try {
                return tools.getMethod(name, parameters);
            } catch (NoSuchMethodException e) {
                return null;
            }
        }

        String getenv(String name) {
            return (String) call(getenv, name);
        }

        boolean setenv(String name, String value) {
            return (Boolean) call(setenv, name, value);
        }

        boolean unsetenv(String name) {
            return (Boolean) call(unsetenv, name);
        }

        @SuppressWarnings("unchecked")
        Map<String, String> environment() {
            return (Map<String, String>) call(environment);
        }

        static Object call(Method method, Object... args) {
            try {
                return method.invoke(null, args);
            } catch (InvocationTargetException e) {
                throw new IllegalStateException(e.getCause());
            } catch (IllegalAccessException e) {
                throw new IllegalStateException(e);
            }
        }
    }

    // Kept for the whole run, so neither copy is unloaded under a later test.
    static Copy first;
    static Copy second;

    @BeforeAll
    static void loadTwoCopies() throws Exception {
        // The whole jar even where this suite's own class path has no natives: a second loader
        // cannot load a library file another loader holds, so every copy is the jar's.
        URL jar = Paths.get(System.getProperty("zknative7.test.jar")).toUri().toURL();
        first = new Copy(jar);
        second = new Copy(jar);
    }

    /** The paths of every mapped copy of the library, a deleted file's included. */
    static Set<String> mappedLibraries() throws Exception {
        Set<String> paths = new TreeSet<>();
        for (String line : Files.readAllLines(Paths.get("/proc/self/maps"))) {
            int slash = line.indexOf('/');
            if (slash >= 0 && line.substring(slash).replace(" (deleted)", "").endsWith("/" + System.mapLibraryName(NativeLibrary.NAME))) {
                paths.add(line.substring(slash));
            }
        }
        return paths;
    }

    // Two more copies beside the suite's own, whether that one was installed or came from the jar.
    @Test
    @Tag("jar")
    void eachLoaderHasACopyOfItsOwn() throws Exception {
        assertNotSame(first.tools, second.tools);
        assertNotSame(NativeTools.class, first.tools);
        assertNotEquals(first.source, second.source);
        Set<String> mapped = mappedLibraries();
        assertTrue(mapped.size() >= 2, "mapped: " + mapped);
        for (Copy copy : Arrays.asList(first, second)) {
            assertTrue(mapped.contains(copy.source) || mapped.contains(copy.source + " (deleted)"),
                copy.source + " not in " + mapped);
        }
        System.out.println("copies loaded from " + first.source + " and " + second.source + "; mapped: " + mapped);
    }

    @Test
    void theListingIsTheSameThroughEveryCopy() throws Exception {
        assertTrue(first.setenv("ZK7J_COPY_LISTED_A", "\u0436 through the first"));
        assertTrue(second.setenv("ZK7J_COPY_LISTED_B", "\uD83D\uDE00 through the second"));
        assertTrue(second.setenv("ZK7J_COPY_LISTED_GONE", "soon"));
        assertTrue(first.unsetenv("ZK7J_COPY_LISTED_GONE"));
        Map<String, String> listed = NativeTools.environment();
        assertEquals("\u0436 through the first", listed.get("ZK7J_COPY_LISTED_A"));
        assertEquals("\uD83D\uDE00 through the second", listed.get("ZK7J_COPY_LISTED_B"));
        assertFalse(listed.containsKey("ZK7J_COPY_LISTED_GONE"));
        assertEquals(listed, first.environment());
        assertEquals(listed, second.environment());
        assertTrue(first.unsetenv("ZK7J_COPY_LISTED_A") && first.unsetenv("ZK7J_COPY_LISTED_B"));
    }

    static String addedName(String copy, int i) {
        return "ZK7J_COPY_" + copy + "_" + i;
    }

    static String addedValue(String copy, int i) {
        return "\u0436" + copy + i + "\u4e2d";
    }

    @Test
    void additionsThroughBothCopiesAtOnceAreAllKept() throws Exception {
        String[] tags = {"A", "B"};
        Copy[] copies = {first, second};
        ConcurrentLinkedQueue<String> faults = new ConcurrentLinkedQueue<>();
        AtomicLong unseen = new AtomicLong();
        Race race = new Race();
        for (int c = 0; c < 2; c++) {
            String tag = tags[c];
            Copy copy = copies[c];
            Copy other = copies[1 - c];
            race.racer("the adder through copy " + tag, ADDED_EACH, round -> {
                int i = (int) round;
                String value = addedValue(tag, i);
                if (!copy.setenv(addedName(tag, i), value)) {
                    ConcurrencyTest.fault(faults, "refused " + addedName(tag, i));
                }
                for (Copy reader : new Copy[] {copy, other}) {
                    String seen = reader.getenv(addedName(tag, i));
                    if (!value.equals(seen)) {
                        unseen.incrementAndGet();
                        ConcurrencyTest.fault(faults, addedName(tag, i) + " read back as " + seen
                            + (reader == copy ? " through its own copy" : " through the other copy"));
                    }
                }
            });
        }
        long[] added = race.run();

        int missing = 0;
        for (int c = 0; c < 2; c++) {
            for (int i = 0; i < added[c]; i++) {
                for (Copy reader : copies) {
                    missing += addedValue(tags[c], i).equals(reader.getenv(addedName(tags[c], i))) ? 0 : 1;
                }
                missing += addedValue(tags[c], i).equals(NativeTools.getenv(addedName(tags[c], i))) ? 0 : 1;
            }
        }
        System.out.printf("2 copies added %s names in %d ms; %d read-backs failed during, %d reads missing afterwards%n",
            Arrays.toString(added), race.millis(), unseen.get(), missing);
        // Removed through one copy, gone for the other.
        int stayed = 0;
        for (int c = 0; c < 2; c++) {
            for (int i = 0; i < added[c]; i++) {
                assertTrue(first.unsetenv(addedName(tags[c], i)));
                stayed += second.getenv(addedName(tags[c], i)) == null ? 0 : 1;
            }
        }
        assertEquals(new ArrayList<String>(), new ArrayList<>(faults));
        assertEquals(0, missing, "reads that did not find an added name afterwards");
        assertEquals(0, stayed, "names removed through one copy but still seen through the other");
    }

    /** One switch for the process: the JDK's one copy keeps what every copy of the library adds. */
    @Test
    void theJdksCopyFollowsTheAdditionsOfBothCopiesAtOnce() throws Exception {
        Copy[] copies = {first, second};
        String[] tags = {"JA", "JB"};
        int each = ADDED_EACH / 3;
        Copy.call(first.followInJdk, true);
        try {
            assertTrue((Boolean) Copy.call(second.followsInJdk), "following through the first copy is the second's too");
            assertTrue(NativeTools.followsInJdk());
            Race race = new Race();
            for (int c = 0; c < 2; c++) {
                Copy copy = copies[c];
                String tag = tags[c];
                race.racer("the adder through copy " + tag, each, i -> assertTrue(copy.setenv(addedName(tag, (int) i), addedValue(tag, (int) i))));
            }
            long[] added = race.run();
            List<String> lost = new ArrayList<>();
            for (int c = 0; c < 2; c++) {
                for (int i = 0; i < added[c]; i++) {
                    if (!addedValue(tags[c], i).equals(System.getenv(addedName(tags[c], i)))) {
                        lost.add(addedName(tags[c], i));
                    }
                    assertTrue(copies[1 - c].unsetenv(addedName(tags[c], i)));
                }
            }
            assertEquals(new ArrayList<String>(), lost.subList(0, Math.min(5, lost.size())), lost.size() + " lost by the JDK's copy");
            assertEquals(NativeTools.environment(), new TreeMap<>(System.getenv()));
        } finally {
            Copy.call(second.followInJdk, false);
        }
        assertFalse(NativeTools.followsInJdk());
    }

    @Test
    void aReaderInOneCopyNeverMissesWhatTheOtherLeavesAlone() throws Exception {
        String[] untouched = new String[8];
        String[] values = new String[untouched.length];
        for (int k = 0; k < untouched.length; k++) {
            untouched[k] = "ZK7J_KEEP_" + k;
            values[k] = NativeToolsTest.repeat("\u041f\u4e2d\uD83D\uDE00" + k, 1 + k * 40);
        }
        ConcurrentLinkedQueue<String> faults = new ConcurrentLinkedQueue<>();
        long[] counts = new long[4];  // reads, misses, wrong values, changes
        long began = System.currentTimeMillis();
        // In rounds, so that removals keep happening in front of the untouched names.
        for (int round = 0; round < ROUNDS; round++) {
            for (int i = 0; i < CHURNED; i++) {
                assertTrue(first.setenv("ZK7J_CHURN_" + i, "old" + i));
            }
            for (int k = 0; k < untouched.length; k++) {
                assertTrue(first.setenv(untouched[k], values[k]));
            }
            // The writer removes the names in front, adds twice as many new ones, and replaces values.
            long[] made = new Race()
                .racer("the reader through the second copy", READS_EACH_ROUND, i -> {
                    for (int k = 0; k < untouched.length; k++) {
                        String seen = second.getenv(untouched[k]);
                        counts[0]++;
                        if (!values[k].equals(seen)) {
                            counts[seen == null ? 1 : 2]++;
                            ConcurrencyTest.fault(faults, untouched[k] + (seen == null ? " unset" : " wrong, " + seen.length() + " units"));
                        }
                    }
                })
                .racer("the writer through the first copy", CHURNED, i -> {
                    boolean applied = first.unsetenv("ZK7J_CHURN_" + i)
                        & first.setenv("ZK7J_FRESH_" + (2 * i), "new" + i)
                        & first.setenv("ZK7J_FRESH_" + (2 * i + 1), "new" + i)
                        & first.setenv("ZK7J_FRESH_" + (2 * i), NativeToolsTest.repeat("r", (int) (i % 64) + 1));
                    if (!applied) {
                        ConcurrencyTest.fault(faults, "change " + i + " refused");
                    }
                    counts[3] += 4;
                })
                .run();
            for (long i = 0; i < Math.max(made[1], CHURNED); i++) {
                first.unsetenv("ZK7J_CHURN_" + i);
                first.unsetenv("ZK7J_FRESH_" + (2 * i));
                first.unsetenv("ZK7J_FRESH_" + (2 * i + 1));
            }
            for (String name : untouched) {
                assertTrue(second.unsetenv(name));
                assertNull(first.getenv(name));
            }
        }
        System.out.printf("reader in one copy: %d reads, %d misses, %d wrong values while the other made %d changes "
            + "in %d rounds, %d ms%n", counts[0], counts[1], counts[2], counts[3], ROUNDS, System.currentTimeMillis() - began);
        assertEquals(new ArrayList<String>(), new ArrayList<>(faults));
        assertEquals(0, counts[1] + counts[2]);
    }
}
