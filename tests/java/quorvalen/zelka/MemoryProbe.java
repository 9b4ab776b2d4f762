// A child JVM that measures the resident memory cycles on one variable add, for MemoryTest.
package quorvalen.zelka;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Paths;

/**
 * Run in a child JVM with a fixed, pre-touched heap: warms up with four times the number of cycles
 * on one variable, then runs that number in each of three measured runs, and prints how much resident memory each added and
 * the least of them. A leak grows every run by the same amount; the JVM's own housekeeping (a late
 * compilation, a new malloc arena) grows one now and then. {@code replace} sets it to each of 16
 * values in turn; {@code remove} sets it, removes it and sets it again.
 */
public final class MemoryProbe {
    private MemoryProbe() {
    }

    public static void main(String[] args) throws IOException {
        int cycles = Integer.parseInt(args[0]);
        boolean removing = args[1].equals("remove");
        String[] values = new String[16];
        for (int i = 0; i < values.length; i++) {
            // Some fit the library's stack buffers, some need the heap.
            values[i] = NativeToolsTest.repeat("\u041f\u4e2d\uD83D\uDE00" + i, 1 + i * 20);
        }
        exercise(4 * cycles, values, removing);  // warm-up: JIT, the first store of every value
        StringBuilder growths = new StringBuilder();
        long least = Long.MAX_VALUE;
        for (int run = 0; run < 3; run++) {
            System.gc();
            long before = residentKib();
            exercise(cycles, values, removing);
            System.gc();
            long growth = residentKib() - before;
            growths.append(run == 0 ? "" : ",").append(growth);
            least = Math.min(least, growth);
        }
        System.out.println((removing ? "remove" : "replace") + " cycles=" + cycles + " growth_kib=" + growths
            + " least_growth_kib=" + least);
    }

    static void exercise(int cycles, String[] values, boolean removing) {
        for (int i = 0; i < cycles; i++) {
            String value = values[i % values.length];
            if (!NativeTools.putenv("ZK7J_MEMORY=" + value) || !value.equals(NativeTools.getenv("ZK7J_MEMORY"))) {
                throw new IllegalStateException("round trip failed at cycle " + i);
            }
            if (removing && (!NativeTools.putenv("ZK7J_MEMORY=") || NativeTools.getenv("ZK7J_MEMORY") != null)) {
                throw new IllegalStateException("removal failed at cycle " + i);
            }
        }
    }

    static long residentKib() throws IOException {
        for (String line : Files.readAllLines(Paths.get("/proc/self/status"))) {
            if (line.startsWith("VmRSS:")) {
                return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        }
        throw new IllegalStateException("no VmRSS in /proc/self/status");
    }
}
