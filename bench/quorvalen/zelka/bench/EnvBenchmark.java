package quorvalen.zelka.bench;

import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.NativeLibrary;
import java.io.FileWriter;
import java.io.IOException;
import java.io.PrintWriter;
import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Random;
import java.util.concurrent.BrokenBarrierException;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.CyclicBarrier;
import jnr.posix.POSIX;
import jnr.posix.POSIXFactory;
import quorvalen.zelka.NativeTools;

/**
 * Per-call cost of zknative7 against what a Java user would otherwise pick, measured side by side
 * in one JVM: every round measures every case once, in a new random order, and the table gives each
 * case's median and minimum over the rounds, and its median as a ratio to the naive JNI call and
 * to jnr-posix.
 * Lookups from several threads at once are measured as calls per second of the whole group, by
 * threads that stay parked between slices, and reported in a second table.
 * The launcher sets ZK7B_SHORT, ZK7B_LATIN, ZK7B_UNICODE, ZK7B_200 and ZK7B_4K before the JVM
 * starts, so that System.getenv's start-up snapshot has them too.
 * usage: EnvBenchmark ROUNDS CSV-FILE
 */
public final class EnvBenchmark {
    static final String ZKNATIVE7 = "zknative7";
    static final String FOLLOWED = "zknative7, JDK";
    static final String NAIVE = "naive JNI";
    static final String JNR = "jnr-posix";
    static final String JNA = "JNA";
    static final String SYSTEM = "System.getenv";
    static final long SLICE_NANOS = 20_000_000;
    static final int WARMUP_ROUNDS = 5;
    static final int[] THREAD_COUNTS = {1, 2, 4};
    static final int RING = 64;
    static final String NS_PER_CALL = "ns/call";
    static final String CALLS_PER_SECOND = "calls/s";

    /** libc through JNA, as its users call it. */
    public interface LibC extends Library {
        String getenv(String name);

        int setenv(String name, String value, int overwrite);

        int unsetenv(String name);
    }

    interface Op {
        int run(int i);
    }

    static final class Case {
        final String operation;
        final String implementation;
        final Op op;
        /** Null for one thread timed per call; otherwise the threads that run op together. */
        final Crew crew;
        final List<Double> samples = new ArrayList<>();
        int batch = 1;
        /** Run before and after each slice, untimed. */
        Runnable before = () -> { };
        Runnable after = () -> { };

        Case(String operation, String implementation, Op op) {
            this(operation, implementation, op, null);
        }

        Case(String operation, String implementation, Op op, Crew crew) {
            this.operation = operation;
            this.implementation = implementation;
            this.op = op;
            this.crew = crew;
        }

        String unit() {
            return crew == null ? NS_PER_CALL : CALLS_PER_SECOND;
        }

        double median() {
            double[] sorted = samples.stream().mapToDouble(Double::doubleValue).sorted().toArray();
            int n = sorted.length;
            return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
        }

        double min() {
            return samples.stream().mapToDouble(Double::doubleValue).min().orElse(Double.NaN);
        }
    }

    /**
     * Threads parked on a barrier between slices, so that no slice pays for starting them. Each
     * slice releases them all, lets them call op until the main thread says stop, and counts calls.
     */
    static final class Crew {
        final CyclicBarrier start;
        final CyclicBarrier end;
        final long[] calls;
        final long[] begins;
        final long[] ends;
        volatile Op op;
        volatile boolean stop;
        volatile CountDownLatch running;

        Crew(int size) {
            start = new CyclicBarrier(size + 1);
            end = new CyclicBarrier(size + 1);
            calls = new long[size];
            begins = new long[size];
            ends = new long[size];
            for (int t = 0; t < size; t++) {
                int slot = t;
                Thread thread = new Thread(() -> work(slot), "bench-" + size + "-" + t);
                thread.setDaemon(true);
                thread.start();
            }
        }

        private void work(int slot) {
            try {
                while (true) {
                    start.await();
                    Op current = op;
                    int accumulated = 0;
                    int i = 0;
                    begins[slot] = System.nanoTime();
                    running.countDown();
                    while (!stop) {
                        accumulated += current.run(i++);
                    }
                    ends[slot] = System.nanoTime();
                    calls[slot] = i;
                    sink += accumulated;
                    end.await();
                }
            } catch (InterruptedException | BrokenBarrierException e) {
                throw new IllegalStateException(e);
            }
        }

        /**
         * One slice: calls per second of all threads together, from the first one's start to the
         * last one's end. The slice lasts SLICE_NANOS after every thread has started, so that a
         * slow wake-up on a busy machine cannot leave it empty.
         */
        double callsPerSecond(Op op) {
            this.op = op;
            stop = false;
            running = new CountDownLatch(calls.length);
            try {
                start.await();
                running.await();
                Thread.sleep(SLICE_NANOS / 1_000_000);
                stop = true;
                end.await();
            } catch (InterruptedException | BrokenBarrierException e) {
                throw new IllegalStateException(e);
            }
            long first = Long.MAX_VALUE;
            long last = Long.MIN_VALUE;
            long total = 0;
            for (int t = 0; t < calls.length; t++) {
                first = Math.min(first, begins[t]);
                last = Math.max(last, ends[t]);
                total += calls[t];
            }
            return total * 1e9 / (last - first);
        }
    }

    static volatile int sink;

    public static void main(String[] args) throws IOException {
        int rounds = Integer.parseInt(args[0]);
        String csv = args[1];
        POSIX posix = POSIXFactory.getNativePOSIX();
        LibC libc = Native.load("c", LibC.class);
        List<Case> cases = new ArrayList<>();

        for (String name : new String[] {"ZK7B_SHORT", "ZK7B_LATIN", "ZK7B_UNICODE", "ZK7B_200", "ZK7B_4K", "ZK7B_MISSING"}) {
            String value = System.getenv(name);
            if (value == null ? !name.equals("ZK7B_MISSING") : !value.equals(NativeTools.getenv(name))) {
                throw new IllegalStateException(name + " is not set as the launcher should have set it");
            }
            String operation = value == null ? "getenv miss" : hit(value);
            cases.add(new Case(operation, ZKNATIVE7, i -> length(NativeTools.getenv(name))));
            cases.add(new Case(operation, NAIVE, i -> length(NaiveEnv.getenv(name))));
            cases.add(new Case(operation, JNR, i -> length(posix.getenv(name))));
            cases.add(new Case(operation, JNA, i -> length(libc.getenv(name))));
            cases.add(new Case(operation, SYSTEM, i -> length(System.getenv(name))));
        }

        String[] values = new String[8];
        String[] assignments = new String[values.length];
        for (int k = 0; k < values.length; k++) {
            values[k] = "/opt/tool-" + k + "/bin:/usr/local/bin";
            assignments[k] = "ZK7B_PUT=" + values[k];
        }
        String replace = "putenv replacing, 8 cycling values";
        cases.add(new Case(replace, ZKNATIVE7, i -> NativeTools.putenv(assignments[i & 7]) ? 1 : 0));
        cases.add(new Case(replace, NAIVE, i -> NaiveEnv.setenv("ZK7B_PUT", values[i & 7]) ? 1 : 0));
        cases.add(new Case(replace, JNR, i -> posix.setenv("ZK7B_PUT", values[i & 7], 1)));
        cases.add(new Case(replace, JNA, i -> libc.setenv("ZK7B_PUT", values[i & 7], 1)));
        String remove = "putenv removing";
        cases.add(new Case(remove, ZKNATIVE7, i -> NativeTools.putenv("ZK7B_GONE=") ? 1 : 0));
        cases.add(new Case(remove, NAIVE, i -> NaiveEnv.unsetenv("ZK7B_GONE") ? 1 : 0));
        cases.add(new Case(remove, JNR, i -> posix.unsetenv("ZK7B_GONE")));
        cases.add(new Case(remove, JNA, i -> libc.unsetenv("ZK7B_GONE")));
        // The same assignments while the JDK's copy follows them, switched on around each slice.
        cases.add(followed(new Case(replace, FOLLOWED, i -> NativeTools.putenv(assignments[i & 7]) ? 1 : 0)));
        cases.add(followed(new Case(remove, FOLLOWED, i -> NativeTools.putenv("ZK7B_GONE=") ? 1 : 0)));

        String listing = "the whole environment";
        cases.add(new Case(listing, ZKNATIVE7, i -> NativeTools.environment().size()));
        cases.add(new Case(listing, NAIVE, i -> NaiveEnv.environ().length));
        cases.add(new Case(listing, JNR, i -> jnrEnvironment(posix)));
        cases.add(new Case(listing, JNA, i -> jnaEnvironment()));
        cases.add(new Case(listing, SYSTEM, i -> System.getenv().size()));

        // One thread through the same harness is the base the others scale from.
        for (int threads : THREAD_COUNTS) {
            Crew crew = new Crew(threads);
            for (String name : new String[] {"ZK7B_SHORT", "ZK7B_UNICODE"}) {
                String value = System.getenv(name);
                String operation = hit(value) + ", " + threads + (threads == 1 ? " thread" : " threads");
                cases.add(new Case(operation, ZKNATIVE7, i -> length(NativeTools.getenv(name)), crew));
                cases.add(new Case(operation, NAIVE, i -> length(NaiveEnv.getenv(name)), crew));
                cases.add(new Case(operation, JNR, i -> length(posix.getenv(name)), crew));
                cases.add(new Case(operation, JNA, i -> length(libc.getenv(name)), crew));
                cases.add(new Case(operation, SYSTEM, i -> length(System.getenv(name)), crew));
            }
        }

        // Every op adds a name or removes one: a ring of names, each set when absent and removed
        // when present. All implementations share the ring, since they share the environment.
        String[] ringNames = new String[RING];
        String[] ringAdds = new String[RING];
        String[] ringRemoves = new String[RING];
        String dir = "/opt/tool/bin";
        for (int k = 0; k < RING; k++) {
            ringNames[k] = "ZK7B_ADD_" + k;
            ringAdds[k] = ringNames[k] + "=" + dir;
            ringRemoves[k] = ringNames[k] + "=";
        }
        boolean[] present = new boolean[RING];
        String ring = "putenv adding/removing, " + RING + " names";
        cases.add(ringCase(ring, ZKNATIVE7, present, ringNames, k -> NativeTools.putenv(ringAdds[k]) ? 1 : 0,
            k -> NativeTools.putenv(ringRemoves[k]) ? 1 : 0));
        cases.add(ringCase(ring, NAIVE, present, ringNames, k -> NaiveEnv.setenv(ringNames[k], dir) ? 1 : 0,
            k -> NaiveEnv.unsetenv(ringNames[k]) ? 1 : 0));
        cases.add(ringCase(ring, JNR, present, ringNames, k -> posix.setenv(ringNames[k], dir, 1),
            k -> posix.unsetenv(ringNames[k])));
        cases.add(ringCase(ring, JNA, present, ringNames, k -> libc.setenv(ringNames[k], dir, 1),
            k -> libc.unsetenv(ringNames[k])));

        Random order = new Random(7);
        for (int round = 0; round < WARMUP_ROUNDS + rounds; round++) {
            List<Case> shuffled = new ArrayList<>(cases);
            Collections.shuffle(shuffled, order);
            for (Case c : shuffled) {
                c.before.run();
                double sample = c.crew == null ? measure(c) : c.crew.callsPerSecond(c.op);
                c.after.run();
                if (round >= WARMUP_ROUNDS) {
                    c.samples.add(sample);
                }
            }
        }
        report(cases, rounds, csv);
    }

    static Case followed(Case c) {
        c.before = () -> NativeTools.followInJdk(true);
        c.after = () -> NativeTools.followInJdk(false);
        return c;
    }

    /** The C environment through jnr-posix's pointer to it, each entry read as its users read strings. */
    static int jnrEnvironment(POSIX posix) {
        jnr.ffi.Pointer entries = posix.environ();
        int size = jnr.ffi.Runtime.getSystemRuntime().addressSize();
        int count = 0;
        for (jnr.ffi.Pointer entry; (entry = entries.getPointer((long) count * size)) != null; count++) {
            entry.getString(0);
        }
        return count;
    }

    /** The C environment through JNA: libc's environ, each entry read as a String. */
    static int jnaEnvironment() {
        com.sun.jna.Pointer entries = NativeLibrary.getInstance("c").getGlobalVariableAddress("environ").getPointer(0);
        int count = 0;
        for (com.sun.jna.Pointer entry : entries.getPointerArray(0)) {
            entry.getString(0);
            count++;
        }
        return count;
    }

    static String hit(String value) {
        String script = value.chars().allMatch(c -> c < 0x80) ? "" : value.chars().allMatch(c -> c < 0x100) ? " Latin-1" : " Cyrillic/CJK";
        return "getenv hit, " + value.length() + " units" + script;
    }

    static int length(String value) {
        return value == null ? -1 : value.length();
    }

    /**
     * Op i toggles name i % RING. Between slices the ring is checked against libc's view and
     * emptied, so that the names do not lengthen the environment other cases scan.
     */
    static Case ringCase(String operation, String implementation, boolean[] present, String[] names, Op add,
            Op remove) {
        Op toggle = i -> {
            int k = i % RING;
            present[k] = !present[k];
            return present[k] ? add.run(k) : remove.run(k);
        };
        Case c = new Case(operation, implementation, toggle);
        c.after = () -> {
            for (int k = 0; k < RING; k++) {
                if ((NaiveEnv.getenv(names[k]) != null) != present[k]) {
                    throw new IllegalStateException(implementation + " left " + names[k] + " in the wrong state");
                }
                if (present[k]) {
                    toggle.run(k);
                }
            }
        };
        return c;
    }

    /** One slice of about SLICE_NANOS; the batch doubles until a slice is long enough to time. */
    static double measure(Case c) {
        while (true) {
            int batch = c.batch;
            int accumulated = 0;
            long start = System.nanoTime();
            for (int i = 0; i < batch; i++) {
                accumulated += c.op.run(i);
            }
            long elapsed = System.nanoTime() - start;
            sink += accumulated;
            if (elapsed >= SLICE_NANOS / 2) {
                c.batch = (int) Math.max(1, Math.min(Integer.MAX_VALUE, (long) batch * SLICE_NANOS / elapsed));
                return (double) elapsed / batch;
            }
            c.batch = batch * 2;
        }
    }

    static void report(List<Case> cases, int rounds, String csv) throws IOException {
        Map<String, Map<String, Case>> byOperation = new LinkedHashMap<>();
        for (Case c : cases) {
            byOperation.computeIfAbsent(c.operation, k -> new LinkedHashMap<>()).put(c.implementation, c);
        }
        try (PrintWriter out = new PrintWriter(new FileWriter(csv))) {
            out.println("operation,implementation,median,min,ratio_to_naive,ratio_to_jnr_posix,unit");
            System.out.printf(Locale.ROOT, "%d rounds of ~%d ms per case after %d warm-up rounds; ns per call"
                + " (ratios > 1 are slower)%n", rounds, SLICE_NANOS / 1_000_000, WARMUP_ROUNDS);
            table(byOperation, NS_PER_CALL, "%9.1f", out);
            for (Map<String, Case> operation : byOperation.values()) {
                if (operation.containsKey(FOLLOWED)) {
                    System.out.printf(Locale.ROOT, "%s, the JDK's copy followed: %.2f x unfollowed, %d variables%n",
                        operation.get(FOLLOWED).operation, operation.get(FOLLOWED).median() / operation.get(ZKNATIVE7).median(),
                        NativeTools.environment().size());
                }
            }
            System.out.println();
            System.out.printf(Locale.ROOT, "Lookups from several threads at once, calls per second of all of them"
                + " (ratios > 1 are faster); %d cores, so 4 threads oversubscribe them%n",
                Runtime.getRuntime().availableProcessors());
            table(byOperation, CALLS_PER_SECOND, "%9.0f", out);
        }
        System.out.println("written to " + csv + " (sink " + sink + ")");
    }

    /** One table of the cases measured in unit, to stdout and to the CSV. */
    static void table(Map<String, Map<String, Case>> byOperation, String unit, String number, PrintWriter out) {
        System.out.printf(Locale.ROOT, "%-46s %-14s %9s %9s %9s %9s%n", "operation", "implementation", "median",
            "min", "x naive", "x jnr");
        for (Map<String, Case> operation : byOperation.values()) {
            Case naive = operation.get(NAIVE);
            Case jnr = operation.get(JNR);
            for (Case c : operation.values()) {
                if (!c.unit().equals(unit)) {
                    continue;
                }
                double toNaive = c.median() / naive.median();
                double toJnr = c.median() / jnr.median();
                System.out.printf(Locale.ROOT, "%-46s %-14s " + number + " " + number + " %9.2f %9.2f%n",
                    c.operation, c.implementation, c.median(), c.min(), toNaive, toJnr);
                // Operation names hold commas.
                out.printf(Locale.ROOT, "\"%s\",%s,%.1f,%.1f,%.3f,%.3f,%s%n", c.operation, c.implementation,
                    c.median(), c.min(), toNaive, toJnr, unit);
            }
        }
    }
}
