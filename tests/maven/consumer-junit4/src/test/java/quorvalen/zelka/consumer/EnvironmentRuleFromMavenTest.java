// Uses zknative7-junit4's rule through Maven and Surefire's JUnit 4 provider: every reader sees the variables, and nothing is left behind.
package quorvalen.zelka.consumer;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.fail;

import com.sun.jna.Library;
import com.sun.jna.Native;
import java.io.ByteArrayOutputStream;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import org.junit.Before;
import org.junit.ClassRule;
import org.junit.FixMethodOrder;
import org.junit.Rule;
import org.junit.Test;
import org.junit.runner.JUnitCore;
import org.junit.runner.Result;
import org.junit.runners.MethodSorters;
import quorvalen.zelka.junit4.EnvironmentVariablesRule;

@FixMethodOrder(MethodSorters.NAME_ASCENDING)
public class EnvironmentRuleFromMavenTest {
    static final String GREETING = "\u041f\u0440\u0438\u0432\u0435\u0442 \uD83D\uDE00";

    /** libc, as native code reads the environment. */
    public interface LibC extends Library {
        LibC INSTANCE = Native.load("c", LibC.class);

        String getenv(String name);
    }

    @ClassRule
    public static final EnvironmentVariablesRule CLASS = new EnvironmentVariablesRule().set("ZK7M_CLASS", GREETING);

    @Rule
    public final EnvironmentVariablesRule environment = new EnvironmentVariablesRule().set("ZK7M_TZ", "UTC").clear("HOME");

    static String child(String name) throws Exception {
        Process process = new ProcessBuilder("printenv", name).start();
        ByteArrayOutputStream printed = new ByteArrayOutputStream();
        try (InputStream in = process.getInputStream()) {
            for (int c; (c = in.read()) >= 0; ) {
                printed.write(c);
            }
        }
        return process.waitFor() == 0 ? new String(printed.toByteArray(), StandardCharsets.UTF_8) : null;
    }

    @Test
    public void a_javaNativeCodeAndChildrenSeeTheVariables() throws Exception {
        assertEquals("UTC", System.getenv("ZK7M_TZ"));
        assertEquals(GREETING, System.getenv("ZK7M_CLASS"));
        assertNull(System.getenv("HOME"));
        assertEquals("UTC", LibC.INSTANCE.getenv("ZK7M_TZ"));
        assertNull(LibC.INSTANCE.getenv("HOME"));
        assertEquals(GREETING + "\n", child("ZK7M_CLASS"));
        environment.set("ZK7M_LATE", "late");
        assertEquals("late\n", child("ZK7M_LATE"));
    }

    /** Run inside a test: the rule's tests that fail, in the test or in @Before. */
    public static class Failing {
        @Rule
        public final EnvironmentVariablesRule environment = new EnvironmentVariablesRule().set("ZK7M_FAILED", "left?");

        @Test
        public void fails() {
            fail("on purpose");
        }
    }

    public static class FailingBefore extends Failing {
        @Before
        public void before() {
            throw new IllegalStateException("on purpose");
        }
    }

    @Test
    public void b_aFailingTestAndAFailingBeforeLeaveNothingBehind() {
        Result result = JUnitCore.runClasses(Failing.class, FailingBefore.class);
        assertEquals(2, result.getFailureCount());
        assertNull(System.getenv("ZK7M_FAILED"));
        assertNull(LibC.INSTANCE.getenv("ZK7M_FAILED"));
    }

    @Test
    public void c_aLaterTestFindsNothingLeftBehind() throws Exception {
        assertNull(System.getenv("ZK7M_LATE"));
        assertNull(child("ZK7M_LATE"));
        assertNull(System.getenv("ZK7M_FAILED"));
        assertEquals(GREETING, System.getenv("ZK7M_CLASS"));
    }
}
