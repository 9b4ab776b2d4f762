// Children started while another thread changes the environment start and inherit whole entries.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import java.util.concurrent.ConcurrentLinkedQueue;
import java.util.function.Predicate;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;

/**
 * Children started while another thread changes the environment: every start succeeds, and every
 * child inherits whole entries only, with every variable that was set before the race.
 */
class ChildStartTest {
    static final String UNTOUCHED = "ZK7J_UNTOUCHED";
    static final String UNTOUCHED_VALUE = "\u041f\u0440\u0438\u0432\u0435\u0442 untouched \u4e16\u754c";
    static final String FLIPPED = "ZK7J_FLIP";
    static final String FLIPPED_VALUE = "flip \u00e9\u00e9";
    // Set and removed at least FLIPS times while at least CHILDREN start (through glibc's setenv,
    // 14-23 of 100 starts fail).
    static final int FLIPS = 100_000;
    static final int CHILDREN = 100;
    // Each round a new JVM, whose environment is still small, adds ADDED names while at least
    // CHILDREN_WHILE_ADDING children start; until they have, it goes on replacing the names' values.
    // (A build that frees the arrays it replaces fails 1-3 of 160 starts.) Under qemu, whose threads
    // are the host's and where each round's JVM starts slowly, two rounds check that architecture's
    // build; the odds of catching a race are the native runs' to take.
    static final int ROUNDS = ChildProcessTest.LAUNCHER.isEmpty() ? 4 : 2;
    static final int ADDED = 5000;
    static final int CHILDREN_WHILE_ADDING = 40;
    static final int FIRST_USE_ROUNDS = 8;

    static String addedName(int i) {
        return "ZK7J_ADD_" + i;
    }

    static String addedValue(int i) {
        return addedValue(i, 0);
    }

    /** The value name {@code i} gets on pass {@code pass} over the added names. */
    static String addedValue(int i, long pass) {
        return "v" + i + "\u0436\u4e2d" + (pass == 0 ? "" : "/" + pass);
    }

    /** An entry as the child prints it, its bytes kept one char each. */
    static String entry(String name, String value) {
        return new String((name + "=" + value).getBytes(StandardCharsets.UTF_8), StandardCharsets.ISO_8859_1);
    }

    /** The entries a child inherits, as {@code env -0} prints them. */
    static List<String> childEnvironment() throws IOException, InterruptedException {
        ChildProcessTest.Finished child = ChildProcessTest.run(Arrays.asList("env", "-0"));
        if (child.status != 0) {
            throw new IOException("env exited with " + child.status + ": " + child.err);
        }
        String all = new String(child.out, StandardCharsets.ISO_8859_1);
        List<String> entries = new ArrayList<>(Arrays.asList(all.split("\0", -1)));
        if (!entries.remove(entries.size() - 1).isEmpty()) {
            throw new IOException("env output does not end with NUL");
        }
        return entries;
    }

    /** What the children started in a race saw; only the starting thread writes it. */
    static final class Tally {
        final ConcurrentLinkedQueue<String> faults = new ConcurrentLinkedQueue<>();
        int started;
        int startFailures;
        int wrongEnvironments;
        int untouchedMissing;

        void fault(String what) {
            if (faults.size() < 10) {
                faults.add(what);
            }
        }

        void report(String what, long changes, long millis) {
            System.out.printf("%s: %d changes, %d children started in %d ms; %d starts failed, "
                    + "%d children had a wrong environment, %d of them without %s%n",
                what, changes, started, millis, startFailures, wrongEnvironments, untouchedMissing, UNTOUCHED);
        }
    }

    /**
     * Starts one child: it must see every entry of {@code before} and otherwise only entries
     * {@code extra} accepts.
     */
    static void startChild(Tally tally, Set<String> before, Predicate<String> extra) {
        String untouched = entry(UNTOUCHED, UNTOUCHED_VALUE);
        List<String> seen;
        try {
            seen = childEnvironment();
            tally.started++;
        } catch (IOException | InterruptedException e) {
            tally.startFailures++;
            tally.fault("start " + (tally.started + tally.startFailures) + ": " + e.getMessage());
            return;
        }
        Set<String> distinct = new HashSet<>(seen);  // a repeated whole entry harms no child
        List<String> missing = new ArrayList<>();
        for (String entry : before) {
            if (!distinct.contains(entry)) {
                missing.add(entry);
            }
        }
        List<String> foreign = new ArrayList<>();
        for (String entry : distinct) {
            if (!before.contains(entry) && !extra.test(entry)) {
                foreign.add(entry);
            }
        }
        if (!missing.isEmpty() || !foreign.isEmpty()) {
            tally.wrongEnvironments++;
            if (!distinct.contains(untouched)) {
                tally.untouchedMissing++;
            }
            tally.fault("child " + tally.started + " of " + seen.size() + " entries: missing " + shortened(missing)
                + ", foreign " + shortened(foreign));
        }
    }

    static String shortened(List<String> entries) {
        List<String> few = new ArrayList<>();
        for (String entry : entries.subList(0, Math.min(3, entries.size()))) {
            few.add(EnvProbe.escape(entry.length() > 60 ? entry.substring(0, 60) + "..." : entry));
        }
        return entries.size() + " " + few;
    }

    /**
     * The environment before the race; it holds the untouched variable. Starting its child also
     * makes the JDK take its own snapshot now, which fails if names are added while it walks.
     */
    static Set<String> environmentBefore() throws Exception {
        assertTrue(NativeTools.setenv(UNTOUCHED, UNTOUCHED_VALUE));
        List<String> entries = childEnvironment();
        assertTrue(entries.contains(entry(UNTOUCHED, UNTOUCHED_VALUE)), "the untouched variable is not inherited");
        return new HashSet<>(entries);
    }

    static boolean isAdded(String entry) {
        int equals = entry.indexOf('=');
        if (equals < 0 || !entry.startsWith("ZK7J_ADD_") || !entry.substring(9, equals).matches("[0-9]{1,4}")) {
            return false;
        }
        int i = Integer.parseInt(entry.substring(9, equals));
        String first = entry(addedName(i), addedValue(i));
        return i < ADDED && entry.startsWith(first) && entry.substring(first.length()).matches("(/[1-9][0-9]*)?");
    }

    @Test
    @Tag("architecture")
    void childrenStartWhileThousandsOfNamesAreAdded() throws Exception {
        // A process's environment grows only while it is small, so each round is a new JVM that adds
        // the names while it starts children.
        Pattern summary = Pattern.compile("(?m)^started=(\\d+) start_failures=(\\d+) wrong=(\\d+) "
            + "untouched_missing=(\\d+) lost=(\\d+) refused=(\\d+)$");
        long[] totals = new long[6];
        List<String> faults = new ArrayList<>();
        long start = System.currentTimeMillis();
        for (int round = 0; round < ROUNDS; round++) {
            // A crash report can stall for minutes on a corrupt environment; a short timeout bounds it.
            ChildProcessTest.Finished probe = ChildProcessTest.run(ChildProcessTest.childJvmWith(
                new String[] {"-Xcheck:jni", "-XX:ErrorLogTimeout=8"}, "quorvalen.zelka.ChildStartProbe"));
            ChildProcessTest.assertNoJniWarning(probe);
            Matcher counts = summary.matcher(probe.text());
            if (probe.status != 0 || !counts.find()) {
                faults.add("round " + round + " exited with " + probe.status + ": " + probe.text() + probe.err);
                continue;
            }
            for (int i = 0; i < totals.length; i++) {
                totals[i] += Long.parseLong(counts.group(i + 1));
            }
            for (String line : probe.text().split("\n")) {
                if (line.startsWith("fault ") && faults.size() < 10) {
                    faults.add("round " + round + ": " + line);
                }
            }
        }
        System.out.printf("%d rounds of adding %d names or more: %d children started in %d ms; %d starts failed, "
                + "%d children had a wrong environment, %d of them without %s; %d names lost, %d refused%n",
            ROUNDS, ADDED, totals[0], System.currentTimeMillis() - start, totals[1], totals[2], totals[3], UNTOUCHED,
            totals[4], totals[5]);
        assertEquals(new ArrayList<String>(), faults);
        assertEquals(0, totals[1] + totals[2] + totals[4] + totals[5]);
    }

    @Test
    @Tag("architecture")
    void childrenStartWhileOneNameIsSetAndRemoved() throws Exception {
        Set<String> before = environmentBefore();
        assertNull(NativeTools.getenv(FLIPPED));
        Tally tally = new Tally();
        ConcurrentLinkedQueue<String> refused = new ConcurrentLinkedQueue<>();
        Race race = new Race()
            .racer("the flipping thread", FLIPS, i -> {
                if ((!NativeTools.setenv(FLIPPED, FLIPPED_VALUE) || !NativeTools.unsetenv(FLIPPED)) && refused.size() < 10) {
                    refused.add("flip " + i);
                }
            })
            .racer("the starting thread", CHILDREN, i -> startChild(tally, before, entry(FLIPPED, FLIPPED_VALUE)::equals));
        long[] rounds = race.run();
        tally.report("setting and removing one name", rounds[0] * 2, race.millis());

        assertNull(NativeTools.getenv(FLIPPED));
        assertTrue(NativeTools.unsetenv(UNTOUCHED));
        assertEquals(new ArrayList<String>(), new ArrayList<>(tally.faults));
        assertEquals(new ArrayList<String>(), new ArrayList<>(refused));
    }

    @Test
    void theJdksFirstCopyOfTheEnvironmentIsNotTornByAdditions() throws Exception {
        int failed = 0;
        List<String> outcomes = new ArrayList<>();
        for (int round = 0; round < FIRST_USE_ROUNDS; round++) {
            ChildProcessTest.Finished probe = ChildProcessTest.run(ChildProcessTest.childJvmWith(
                new String[] {"-Xcheck:jni"}, "quorvalen.zelka.ChildStartProbe", "first-use"));
            ChildProcessTest.assertNoJniWarning(probe);
            if (probe.status != 0 || !probe.text().contains("first_use=ok")) {
                failed++;
                outcomes.add(probe.status + ": " + probe.text().trim() + probe.err.trim());
            }
        }
        System.out.printf("first use of System.getenv during additions: %d of %d rounds failed%n", failed, FIRST_USE_ROUNDS);
        assertEquals(new ArrayList<String>(), outcomes);
    }
}
