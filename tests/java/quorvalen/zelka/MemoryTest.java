package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Test;

/** A million calls leave resident memory where it was: nothing the natives make is kept. */
class MemoryTest {
    static final long LIMIT_KIB = 2048;

    @Test
    void aMillionCallsGrowResidentMemoryByLessThanTwoMebibytes() throws Exception {
        // A fixed heap, touched up front, so the Java heap's own growth is not counted.
        ChildProcessTest.Finished child = ChildProcessTest.run(ChildProcessTest.childJvmWith(
            new String[] {"-Xms64m", "-Xmx64m", "-XX:+AlwaysPreTouch"}, "quorvalen.zelka.MemoryProbe", "1000000"));
        assertEquals(0, child.status, child.err);
        System.out.print(child.text());
        Matcher growth = Pattern.compile("growth_kib=(-?\\d+)").matcher(child.text());
        assertTrue(growth.find(), child.text());
        assertTrue(Long.parseLong(growth.group(1)) < LIMIT_KIB, child.text());
    }
}
