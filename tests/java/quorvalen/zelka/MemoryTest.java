package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * A million cycles on one variable leave resident memory where it was: the environment keeps each
 * distinct string once, and a removed variable's slot is reused.
 */
class MemoryTest {
    // Under qemu-user resident memory is the emulator's too, and its translations of the JIT's code
    // add 0.1-2.5 MiB however many cycles run: there 100,000 cycles (for time) and 6 MiB, which one
    // leaked 64-byte block per cycle would still pass (the values stored average some 400 bytes).
    static final int CYCLES = ChildProcessTest.EMULATED ? 100_000 : 1_000_000;
    static final long LIMIT_KIB = ChildProcessTest.EMULATED ? 6144 : 2048;

    @ParameterizedTest
    @ValueSource(strings = {"replace", "remove"})
    void aMillionCyclesGrowResidentMemoryByLessThanTwoMebibytes(String mode) throws Exception {
        // A fixed heap, touched up front, so the Java heap's own growth is not counted.
        ChildProcessTest.Finished child = ChildProcessTest.run(ChildProcessTest.childJvmWith(
            new String[] {"-Xms64m", "-Xmx64m", "-XX:+AlwaysPreTouch"}, "quorvalen.zelka.MemoryProbe", String.valueOf(CYCLES), mode));
        assertEquals(0, child.status, child.err);
        System.out.print(child.text());
        Matcher growth = Pattern.compile("growth_kib=(-?\\d+)").matcher(child.text());
        assertTrue(growth.find(), child.text());
        assertTrue(Long.parseLong(growth.group(1)) < LIMIT_KIB, child.text());
    }
}
