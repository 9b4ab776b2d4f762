package quorvalen.zelka.bench;

import com.sun.jna.Library;
import com.sun.jna.Native;
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
import jnr.posix.POSIX;
import jnr.posix.POSIXFactory;
import quorvalen.zelka.NativeTools;

/**
 * Per-call cost of zknative7 against what a Java user would otherwise pick, measured side by side
 * in one JVM: every round measures every case once, in a new random order, and the table gives each
 * case's median and minimum over the rounds, and its median as a ratio to the naive JNI call and
 * to jnr-posix.
 * The launcher sets ZK7B_SHORT, ZK7B_UNICODE and ZK7B_4K before the JVM starts, so that
 * System.getenv's start-up snapshot has them too.
 * usage: EnvBenchmark ROUNDS CSV-FILE
 */
public final class EnvBenchmark {
    static final String ZKNATIVE7 = "zknative7";
    static final String NAIVE = "naive JNI";
    static final String JNR = "jnr-posix";
    static final String JNA = "JNA";
    static final String SYSTEM = "System.getenv";
    static final long SLICE_NANOS = 20_000_000;
    static final int WARMUP_ROUNDS = 5;

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
        final List<Double> samples = new ArrayList<>();
        int batch = 1;

        Case(String operation, String implementation, Op op) {
            this.operation = operation;
            this.implementation = implementation;
            this.op = op;
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

    static volatile int sink;

    public static void main(String[] args) throws IOException {
        int rounds = Integer.parseInt(args[0]);
        String csv = args[1];
        POSIX posix = POSIXFactory.getNativePOSIX();
        LibC libc = Native.load("c", LibC.class);
        List<Case> cases = new ArrayList<>();

        for (String name : new String[] {"ZK7B_SHORT", "ZK7B_UNICODE", "ZK7B_4K", "ZK7B_MISSING"}) {
            String value = System.getenv(name);
            if (value == null ? !name.equals("ZK7B_MISSING") : !value.equals(NativeTools.getenv(name))) {
                throw new IllegalStateException(name + " is not set as the launcher should have set it");
            }
            String operation = value == null ? "getenv miss"
                : "getenv hit, " + value.length() + " units" + (value.chars().allMatch(c -> c < 128) ? "" : " Cyrillic/CJK");
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

        Random order = new Random(7);
        for (int round = 0; round < WARMUP_ROUNDS + rounds; round++) {
            List<Case> shuffled = new ArrayList<>(cases);
            Collections.shuffle(shuffled, order);
            for (Case c : shuffled) {
                double nanosPerOp = measure(c);
                if (round >= WARMUP_ROUNDS) {
                    c.samples.add(nanosPerOp);
                }
            }
        }
        report(cases, rounds, csv);
    }

    static int length(String value) {
        return value == null ? -1 : value.length();
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
        System.out.printf(Locale.ROOT, "%d rounds of ~%d ms per case after %d warm-up rounds; ns per call%n",
            rounds, SLICE_NANOS / 1_000_000, WARMUP_ROUNDS);
        System.out.printf(Locale.ROOT, "%-38s %-14s %9s %9s %9s %9s%n", "operation", "implementation", "median",
            "min", "x naive", "x jnr");
        try (PrintWriter out = new PrintWriter(new FileWriter(csv))) {
            out.println("operation,implementation,median_ns,min_ns,ratio_to_naive,ratio_to_jnr_posix");
            for (Map.Entry<String, Map<String, Case>> operation : byOperation.entrySet()) {
                Case naive = operation.getValue().get(NAIVE);
                Case jnr = operation.getValue().get(JNR);
                for (Case c : operation.getValue().values()) {
                    double toNaive = c.median() / naive.median();
                    double toJnr = c.median() / jnr.median();
                    System.out.printf(Locale.ROOT, "%-38s %-14s %9.1f %9.1f %9.2f %9.2f%n", c.operation,
                        c.implementation, c.median(), c.min(), toNaive, toJnr);
                    out.printf(Locale.ROOT, "%s,%s,%.1f,%.1f,%.3f,%.3f%n", c.operation, c.implementation,
                        c.median(), c.min(), toNaive, toJnr);
                }
            }
        }
        System.out.println("written to " + csv + " (sink " + sink + ")");
    }
}
