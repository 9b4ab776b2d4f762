package quorvalen.zelka;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Paths;

/**
 * Run in a child JVM with a fixed, pre-touched heap: calls the natives over a cycling set of values,
 * then as many times again, and prints how much resident memory the second run added.
 */
public final class MemoryProbe {
    private MemoryProbe() {
    }

    public static void main(String[] args) throws IOException {
        int calls = Integer.parseInt(args[0]);
        String[] values = new String[16];
        for (int i = 0; i < values.length; i++) {
            // Some fit the library's stack buffers, some need the heap.
            values[i] = NativeToolsTest.repeat("\u041f\u4e2d\uD83D\uDE00" + i, 1 + i * 20);
        }
        exercise(calls, values);  // warm-up: JIT, glibc's store of every value it set
        System.gc();
        long before = residentKib();
        exercise(calls, values);
        System.gc();
        long after = residentKib();
        System.out.println("calls=" + calls + " before_kib=" + before + " after_kib=" + after
            + " growth_kib=" + (after - before));
    }

    static void exercise(int calls, String[] values) {
        for (int i = 0; i < calls / 2; i++) {
            String value = values[i % values.length];
            if (!NativeTools.putenv("ZK7J_MEMORY=" + value) || !value.equals(NativeTools.getenv("ZK7J_MEMORY"))) {
                throw new IllegalStateException("round trip failed at call " + i);
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
