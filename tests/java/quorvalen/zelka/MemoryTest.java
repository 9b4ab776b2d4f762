// Cycles of setting and removing one variable leave resident memory where it was.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Cycles on one variable leave resident memory where it was: the environment keeps each distinct
 * string once, and a removed variable's slot is reused. One leaked block per cycle would grow a run
 * of 250,000 cycles by several MiB.
 */
class MemoryTest {
    static final int CYCLES = 250_000;
    static final long LIMIT_KIB = 2048;

    @ParameterizedTest
    @ValueSource(strings = {"replace", "remove"})
    void cyclesGrowResidentMemoryByLessThanTwoMebibytes(String mode) throws Exception {
        // A fixed heap, touched up front, so the Java heap's own growth is not counted.
        ChildProcessTest.Finished child = ChildProcessTest.run(ChildProcessTest.childJvmWith(
            new String[] {"-Xms64m", "-Xmx64m", "-XX:+AlwaysPreTouch"}, "quorvalen.zelka.MemoryProbe", String.valueOf(CYCLES), mode));
        assertEquals(0, child.status, child.err);
        System.out.print(child.text());
        Matcher growth = Pattern.compile("least_growth_kib=(-?\\d+)").matcher(child.text());
        assertTrue(growth.find(), child.text());
        assertTrue(Long.parseLong(growth.group(1)) < LIMIT_KIB, child.text());
    }
}
