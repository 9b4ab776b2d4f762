// Uses zknative7 through its Maven artifact: a value set in Java is read back and inherited.
package quorvalen.zelka.consumer;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static quorvalen.zelka.consumer.Children.output;

import java.nio.charset.StandardCharsets;
import org.junit.jupiter.api.Test;
import quorvalen.zelka.NativeTools;

class NativeToolsFromMavenTest {
    static final String NAME = "ZK7_MAVEN_CONSUMER";

    @Test
    void valuesSetHereAreReadBackAndInherited() throws Exception {
        // Cyrillic, CJK and a character outside the BMP: none of them fits Latin-1.
        String[] values = {"\u041f\u0440\u0438\u0432\u0435\u0442", "\u4e16\u754c \uD83D\uDE00", "x"};
        for (String value : values) {
            assertTrue(NativeTools.setenv(NAME, value));
            assertEquals(value, NativeTools.getenv(NAME));
            byte[] utf8 = value.getBytes(StandardCharsets.UTF_8);
            assertArrayEquals((value + "\n").getBytes(StandardCharsets.UTF_8), output("printenv", NAME));
            assertArrayEquals(utf8, output("sh", "-c", "printf %s \"$" + NAME + "\""));
        }
        assertTrue(NativeTools.unsetenv(NAME));
        assertNull(NativeTools.getenv(NAME));
        // The shell exits 0 only when it has no such variable at all.
        assertArrayEquals(new byte[0], output("sh", "-c", "[ -z \"${" + NAME + "+set}\" ]"));
    }
}
