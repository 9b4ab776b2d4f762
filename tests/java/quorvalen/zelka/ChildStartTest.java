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
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicLong;
import java.util.function.Predicate;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Test;

/**
 * Children started while another thread changes the environment: every start succeeds, and every
 * child inherits whole entries only, with every variable that was set before the race.
 */
class ChildStartTest {
    static final String UNTOUCHED = "ZK7J_UNTOUCHED";
    static final String UNTOUCHED_VALUE = "\u041f\u0440\u0438\u0432\u0435\u0442 untouched \u4e16\u754c";
    static final int ADDED = 5000;
    static final int FLIPS = 100_000;
    static final String FLIPPED = "ZK7J_FLIP";
    static final String FLIPPED_VALUE = "flip \u00e9\u00e9";
    // Enough children to meet the race many times; the time bound keeps a slow machine well inside
    // the suite's timeout. Under qemu-user, where a child JVM takes seconds to start, the bound is
    // halved and the JDK's first copy is made in 4 rounds instead of 8.
    static final int CHILDREN = 150;
    static final int ROUNDS = 30;
    static final long MOST_MILLIS = ChildProcessTest.EMULATED ? 6_000 : 12_000;
    static final int FIRST_USE_ROUNDS = ChildProcessTest.EMULATED ? 4 : 8;

    static String addedName(int i) {
        return "ZK7J_ADD_" + i;
    }

    static String addedValue(int i) {
        return "v" + i + "\u0436\u4e2d";
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

    static final class Tally {
        final ConcurrentLinkedQueue<String> faults = new ConcurrentLinkedQueue<>();
        final long end = System.currentTimeMillis() + MOST_MILLIS;
        int started;
        int startFailures;
        int wrongEnvironments;
        int untouchedMissing;

        boolean wantsMore() {
            return started + startFailures < CHILDREN && System.currentTimeMillis() < end;
        }

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
     * Starts children while {@code changer} is alive: each must see every entry of {@code before}
     * and otherwise only entries {@code extra} accepts.
     */
    static void startChildrenWhile(Thread changer, Tally tally, Set<String> before, Predicate<String> extra) {
        String untouched = entry(UNTOUCHED, UNTOUCHED_VALUE);
        while (changer.isAlive() && tally.wantsMore()) {
            List<String> seen;
            try {
                seen = childEnvironment();
                tally.started++;
            } catch (IOException | InterruptedException e) {
                tally.startFailures++;
                tally.fault("start " + (tally.started + tally.startFailures) + ": " + e.getMessage());
                continue;
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
        return i < ADDED && entry.equals(entry(addedName(i), addedValue(i)));
    }

    @Test
    void childrenStartWhileThousandsOfNamesAreAdded() throws Exception {
        // A process's environment grows only once, so each round is a new JVM that adds the names
        // while it starts children.
        Pattern summary = Pattern.compile("(?m)^started=(\\d+) start_failures=(\\d+) wrong=(\\d+) "
            + "untouched_missing=(\\d+) lost=(\\d+) refused=(\\d+)$");
        long[] totals = new long[6];
        List<String> faults = new ArrayList<>();
        long start = System.currentTimeMillis();
        int rounds = 0;
        for (; rounds < ROUNDS && System.currentTimeMillis() < start + MOST_MILLIS; rounds++) {
            // A crash report can stall for minutes on a corrupt environment; a short timeout bounds it.
            ChildProcessTest.Finished probe = ChildProcessTest.run(ChildProcessTest.childJvmWith(
                new String[] {"-Xcheck:jni", "-XX:ErrorLogTimeout=8"}, "quorvalen.zelka.ChildStartProbe"));
            ChildProcessTest.assertNoJniWarning(probe);
            Matcher counts = summary.matcher(probe.text());
            if (probe.status != 0 || !counts.find()) {
                faults.add("round " + rounds + " exited with " + probe.status + ": " + probe.err);
                continue;
            }
            for (int i = 0; i < totals.length; i++) {
                totals[i] += Long.parseLong(counts.group(i + 1));
            }
            for (String line : probe.text().split("\n")) {
                if (line.startsWith("fault ") && faults.size() < 10) {
                    faults.add("round " + rounds + ": " + line);
                }
            }
        }
        System.out.printf("%d rounds of adding %d names: %d children started in %d ms; %d starts failed, "
                + "%d children had a wrong environment, %d of them without %s; %d names lost, %d refused%n",
            rounds, ADDED, totals[0], System.currentTimeMillis() - start, totals[1], totals[2], totals[3], UNTOUCHED,
            totals[4], totals[5]);
        assertEquals(new ArrayList<String>(), faults);
        assertEquals(0, totals[1] + totals[2] + totals[4] + totals[5]);
        assertTrue(totals[0] > 0, "no child started during the additions");
    }

    @Test
    void childrenStartWhileOneNameIsSetAndRemoved() throws Exception {
        Set<String> before = environmentBefore();
        assertNull(NativeTools.getenv(FLIPPED));
        Tally tally = new Tally();
        AtomicBoolean childrenDone = new AtomicBoolean();
        AtomicLong flips = new AtomicLong();
        ConcurrentLinkedQueue<String> refused = new ConcurrentLinkedQueue<>();
        // At least FLIPS, and on for as long as children start.
        Thread flipper = new Thread(() -> {
            for (int i = 0; i < FLIPS || !childrenDone.get(); i++) {
                if ((!NativeTools.setenv(FLIPPED, FLIPPED_VALUE) || !NativeTools.unsetenv(FLIPPED)) && refused.size() < 10) {
                    refused.add("flip " + i);
                }
                flips.incrementAndGet();
            }
        });
        long start = System.currentTimeMillis();
        flipper.start();
        startChildrenWhile(flipper, tally, before, entry(FLIPPED, FLIPPED_VALUE)::equals);
        childrenDone.set(true);
        flipper.join();
        tally.report("setting and removing one name", flips.get() * 2, System.currentTimeMillis() - start);

        assertNull(NativeTools.getenv(FLIPPED));
        assertTrue(NativeTools.unsetenv(UNTOUCHED));
        assertEquals(new ArrayList<String>(), new ArrayList<>(tally.faults));
        assertEquals(new ArrayList<String>(), new ArrayList<>(refused));
        assertTrue(tally.started > 0, "no child started during the changes");
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
