// Test classes that the rule's own tests run through JUnitCore, never directly.
package quorvalen.zelka.junit4;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.fail;
import static org.junit.Assume.assumeTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.ConcurrentLinkedQueue;
import org.junit.Before;
import org.junit.BeforeClass;
import org.junit.ClassRule;
import org.junit.Rule;
import org.junit.Test;
import quorvalen.zelka.NativeTools;

/** What each fixture's tests saw goes to {@link #SEEN}, "test: NAME" as System.getenv, the library and a child read it. */
public final class RuleFixtures {
    static final Map<String, String> SEEN = new ConcurrentHashMap<>();
    static final ConcurrentLinkedQueue<String> FAULTS = new ConcurrentLinkedQueue<>();
    static final String UNICODE = "\u041f\u0440\u0438\u0432\u0435\u0442 \uD83D\uDE00";

    private RuleFixtures() {
    }

    static void see(String test, String... names) {
        for (String name : names) {
            SEEN.put(test + ": " + name, System.getenv(name) + " | " + NativeTools.getenv(name) + " | " + child(name));
        }
    }

    /** What printenv, started now, prints for NAME; null when unset. */
    static String child(String name) {
        try {
            Process process = new ProcessBuilder("printenv", name).start();
            String printed = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
            return process.waitFor() == 0 ? printed.substring(0, printed.length() - 1) : null;
        } catch (IOException | InterruptedException e) {
            throw new IllegalStateException(e);
        }
    }

    public static class AroundEachTest {
        @Rule
        public final EnvironmentVariablesRule environment = new EnvironmentVariablesRule().set("ZK7R_SET", UNICODE)
            .clear("ZK7R_PRESET");

        @Test
        public void seesThemAndSetsMore() {
            environment.set("ZK7R_LATE", "late").clear("ZK7R_SET");
            see("each", "ZK7R_PRESET", "ZK7R_LATE", "ZK7R_SET");
        }

        @Test
        public void fails() {
            environment.set("ZK7R_LATE", "failed");
            fail("on purpose");
        }

        @Test
        public void assumesWrongly() {
            assumeTrue(false);
        }

        @Test(timeout = 100)
        public void timesOut() throws InterruptedException {
            environment.set("ZK7R_LATE", "timed out");
            Thread.sleep(60_000);
        }
    }

    public static class BeforeFails {
        @Rule
        public final EnvironmentVariablesRule environment = new EnvironmentVariablesRule().set("ZK7R_SET", "before failed");

        @Before
        public void before() {
            throw new IllegalStateException("on purpose");
        }

        @Test
        public void test() {
            FAULTS.add("a test ran after its @Before failed");
        }
    }

    public static class AroundTheClass {
        @ClassRule
        public static final EnvironmentVariablesRule ENVIRONMENT = new EnvironmentVariablesRule().set("ZK7R_CLASS", "class");

        @Rule
        public final EnvironmentVariablesRule environment = new EnvironmentVariablesRule().set("ZK7R_SET", "method");

        @BeforeClass
        public static void beforeClass() {
            see("beforeClass", "ZK7R_CLASS", "ZK7R_SET");
        }

        @Test
        public void seesBoth() {
            see("class", "ZK7R_CLASS", "ZK7R_SET");
            ENVIRONMENT.set("ZK7R_SET", "class-wide");  // put back after the class to what it was before the test's rule
        }
    }

    /** Each refused before the test runs, naming the rule, the name and the test. */
    public static class BadName {
        @Rule
        public final EnvironmentVariablesRule environment = new EnvironmentVariablesRule().set("ZK7R_SET", "set?")
            .set("ZK7R_A=B", "x");

        @Test
        public void test() {
            FAULTS.add("a name with '=' ran");
        }
    }

    public static class BadValueWhileRunning {
        @Rule
        public final EnvironmentVariablesRule environment = new EnvironmentVariablesRule();

        @Test
        public void test() {
            environment.set("ZK7R_SET", "a\0b");
        }
    }

    /** Writers each set the shared variable to their own value; none may see another's. */
    public static class Writers {
        @Rule
        public final EnvironmentVariablesRule environment = new EnvironmentVariablesRule();

        void holds(String value) throws InterruptedException {
            environment.set("ZK7R_SHARED", value);
            for (int i = 0; i < 20; i++) {
                if (!value.equals(System.getenv("ZK7R_SHARED"))) {
                    FAULTS.add("writer " + value + " saw " + System.getenv("ZK7R_SHARED"));
                }
                Thread.sleep(1);
            }
        }

        @Test
        public void a() throws InterruptedException {
            holds("a");
        }

        @Test
        public void b() throws InterruptedException {
            holds("b");
        }

        @Test
        public void c() throws InterruptedException {
            holds("c");
        }
    }

    public static class MoreWriters extends Writers {
    }

    /** A class rule's value holds for every test of its class, even while they run on other threads. */
    public static class ClassWriters extends Writers {
        @ClassRule
        public static final EnvironmentVariablesRule ENVIRONMENT = new EnvironmentVariablesRule().set("ZK7R_CLASS", "writers");

        @Override
        void holds(String value) throws InterruptedException {
            super.holds(value);
            assertEquals("writers", System.getenv("ZK7R_CLASS"));
        }
    }
}
