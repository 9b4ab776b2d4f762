// Uses zknative7-junit's annotations through Maven: every reader sees the variables, and they are put back.
package quorvalen.zelka.consumer;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static quorvalen.zelka.consumer.Children.output;

import com.sun.jna.Library;
import com.sun.jna.Native;
import java.nio.charset.StandardCharsets;
import org.junit.jupiter.api.MethodOrderer;
import org.junit.jupiter.api.Order;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestMethodOrder;
import quorvalen.zelka.junit.ClearEnvironmentVariable;
import quorvalen.zelka.junit.SetEnvironmentVariable;

@SetEnvironmentVariable(name = "ZK7M_CLASS", value = EnvironmentAnnotationsFromMavenTest.GREETING)
@TestMethodOrder(MethodOrderer.OrderAnnotation.class)
class EnvironmentAnnotationsFromMavenTest {
    static final String GREETING = "\u041f\u0440\u0438\u0432\u0435\u0442 \uD83D\uDE00";

    /** libc, as native code reads the environment. */
    public interface LibC extends Library {
        LibC INSTANCE = Native.load("c", LibC.class);

        String getenv(String name);
    }

    @Test
    @Order(1)
    @SetEnvironmentVariable(name = "ZK7M_TZ", value = "UTC")
    @ClearEnvironmentVariable(name = "HOME")
    void javaNativeCodeAndChildrenSeeTheVariables() throws Exception {
        assertEquals("UTC", System.getenv("ZK7M_TZ"));
        assertEquals(GREETING, System.getenv("ZK7M_CLASS"));
        assertNull(System.getenv("HOME"));
        assertEquals("UTC", LibC.INSTANCE.getenv("ZK7M_TZ"));
        assertNull(LibC.INSTANCE.getenv("HOME"));
        assertArrayEquals((GREETING + "\n").getBytes(StandardCharsets.UTF_8), output("printenv", "ZK7M_CLASS"));
        assertArrayEquals("UTC\n".getBytes(StandardCharsets.UTF_8), output("printenv", "ZK7M_TZ"));
        // A builder whose environment is changed starts from the JDK's copy, which follows.
        ProcessBuilder builder = new ProcessBuilder("printenv", "ZK7M_TZ");
        builder.environment().put("ZK7M_EXTRA", "1");
        assertEquals("UTC", new String(Children.output(builder), StandardCharsets.UTF_8).trim());
    }

    @Test
    @Order(2)
    void theMethodsVariablesAreGoneAndTheClasssStay() {
        assertNull(System.getenv("ZK7M_TZ"));
        assertNull(LibC.INSTANCE.getenv("ZK7M_TZ"));
        assertEquals(System.getenv("HOME"), LibC.INSTANCE.getenv("HOME"), "HOME is back, as it was");
        assertEquals(GREETING, System.getenv("ZK7M_CLASS"));
    }
}
