// The annotations and the extension, run through the JUnit Platform launcher on the fixtures.
package quorvalen.zelka.junit;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.platform.engine.discovery.DiscoverySelectors.selectClass;

import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.platform.launcher.core.LauncherDiscoveryRequestBuilder;
import org.junit.platform.launcher.core.LauncherFactory;
import org.junit.platform.launcher.listeners.SummaryGeneratingListener;
import org.junit.platform.launcher.listeners.TestExecutionSummary;
import quorvalen.zelka.NativeTools;

class EnvironmentAnnotationsTest {
    /** Set before each run, so that putting it back must restore an unpaired surrogate exactly. */
    static final String PRESET = "preset \uDC00 \u4e2d";

    @BeforeEach
    void preset() {
        // So that the JDK's copy can be compared with the environment between runs.
        NativeTools.followInJdk(true);
        Fixtures.SEEN.clear();
        Fixtures.FAULTS.clear();
        assertTrue(NativeTools.setenv("ZK7U_PRESET", PRESET));
        assertTrue(NativeTools.setenv("ZK7U_CLEARED", "cleared"));
    }

    @AfterEach
    void unset() {
        assertTrue(NativeTools.unsetenv("ZK7U_PRESET"));
        assertTrue(NativeTools.unsetenv("ZK7U_CLEARED"));
        NativeTools.followInJdk(false);
    }

    static TestExecutionSummary run(Class<?> fixture, Map<String, String> configuration) {
        SummaryGeneratingListener listener = new SummaryGeneratingListener();
        LauncherFactory.create().execute(LauncherDiscoveryRequestBuilder.request().selectors(selectClass(fixture))
            .configurationParameters(configuration).build(), listener);
        return listener.getSummary();
    }

    static TestExecutionSummary run(Class<?> fixture) {
        return run(fixture, Collections.emptyMap());
    }

    static List<String> failures(TestExecutionSummary summary) {
        List<String> failures = new ArrayList<>();
        for (TestExecutionSummary.Failure failure : summary.getFailures()) {
            failures.add(failure.getTestIdentifier().getDisplayName() + ": " + failure.getException());
        }
        return failures;
    }

    /** What every reader says of each name now, to compare with how it was. */
    static Map<String, String> now(String... names) {
        Map<String, String> seen = new TreeMap<>();
        for (String name : names) {
            seen.put(name, Readers.seenAs(NativeTools.getenv(name)));
            assertEquals(Readers.seenAs(NativeTools.getenv(name)), System.getenv(name) + " | " + NativeTools.getenv(name)
                + " | " + Readers.libc(name), name);
        }
        return seen;
    }

    static final String[] WATCHED = {"ZK7U_SET", "ZK7U_PRESET", "ZK7U_CLEARED", "ZK7U_CLASS", "ZK7U_OVER", "ZK7U_FAILED",
        "ZK7U_ADDED", "ZK7U_NATIVE", "ZK7U_SHARED", "ZK7U_OWN_A", "ZK7U_OWN_B", "ZK7U_UNTOUCHED", "ZK7U_TWICE", "ZK7U_META"};

    /** Every fixture leaves every name exactly as it found it, whatever its tests did. */
    static void assertLeftAsFound(Map<String, String> before) {
        assertEquals(before, now(WATCHED));
        assertEquals(PRESET, System.getenv("ZK7U_PRESET"));
    }

    @Test
    void aMethodsVariablesReachEveryReaderAndArePutBack() throws Exception {
        Map<String, String> before = now(WATCHED);
        TestExecutionSummary summary = run(Fixtures.MethodLevel.class);
        assertEquals(new ArrayList<String>(), failures(summary));
        assertEquals(1, summary.getTestsSucceededCount());
        Map<String, String> seen = new HashMap<>();
        seen.put("method: ZK7U_SET", Readers.seenAs(Fixtures.UNICODE));
        seen.put("method: ZK7U_PRESET", Readers.seenAs("replaced"));
        seen.put("method: ZK7U_CLEARED", Readers.seenAs(null));
        seen.put("method: child", Readers.stored(Fixtures.UNICODE));
        assertEquals(seen, new HashMap<>(Fixtures.SEEN));
        assertLeftAsFound(before);
    }

    @Test
    void whereTheJdksCopyWasNotFollowedItFollowsDuringTheTestOnly() throws Exception {
        NativeTools.followInJdk(false);
        TestExecutionSummary summary = run(Fixtures.MethodLevel.class);
        assertEquals(new ArrayList<String>(), failures(summary));
        assertEquals(Readers.seenAs(Fixtures.UNICODE), Fixtures.SEEN.get("method: ZK7U_SET"));
        assertEquals(false, NativeTools.followsInJdk());
        assertEquals(null, NativeTools.getenv("ZK7U_SET"));
        assertEquals(null, System.getenv("ZK7U_SET"), "put back in the JDK's copy too");
    }

    @Test
    void aClassesVariablesHoldForItsTestsAndNestedOnesAndAMethodsWin() {
        Map<String, String> before = now(WATCHED);
        TestExecutionSummary summary = run(Fixtures.ClassLevel.class);
        assertEquals(new ArrayList<String>(), failures(summary));
        assertEquals(3, summary.getTestsSucceededCount());
        Map<String, String> seen = new HashMap<>();
        seen.put("overrides: ZK7U_CLASS", Readers.seenAs("class"));
        seen.put("overrides: ZK7U_OVER", Readers.seenAs("method"));
        seen.put("inherits: ZK7U_CLASS", Readers.seenAs("class"));
        seen.put("inherits: ZK7U_OVER", Readers.seenAs("class"));
        seen.put("nested: ZK7U_CLASS", Readers.seenAs(null));
        seen.put("nested: ZK7U_OVER", Readers.seenAs("class"));
        assertEquals(seen, new HashMap<>(Fixtures.SEEN));
        assertLeftAsFound(before);
    }

    @Test
    void annotationsAreFoundWhereJUnitFindsThemTheNearestWinning() {
        Map<String, String> before = now(WATCHED);
        TestExecutionSummary summary = run(Fixtures.FoundWhereJUnitLooks.class);
        assertEquals(new ArrayList<String>(), failures(summary));
        Map<String, String> seen = new HashMap<>();
        seen.put("class: ZK7U_META", Readers.seenAs("meta"));  // two levels down
        seen.put("class: ZK7U_CLEARED", Readers.seenAs(null));  // one level down
        seen.put("class: ZK7U_SET", Readers.seenAs("interface"));
        seen.put("class: ZK7U_CLASS", Readers.seenAs("superclass"));
        seen.put("class: ZK7U_OVER", Readers.seenAs("interface"));
        seen.put("method: ZK7U_META", Readers.seenAs("meta"));
        seen.put("method: ZK7U_OVER", Readers.seenAs("method"));
        assertEquals(seen, new HashMap<>(Fixtures.SEEN));
        assertLeftAsFound(before);
    }

    /** A nested class declared in a superclass runs in the subclass, not in the class that declares it. */
    @Test
    void aNestedClassRunsInTheClassThatRunsItNotTheOneDeclaringIt() {
        Map<String, String> before = now(WATCHED);
        assertEquals(new ArrayList<String>(), failures(run(Fixtures.RunsInheritedNested.class)));
        Map<String, String> seen = new HashMap<>();
        seen.put("inherited first: ZK7U_OVER", Readers.seenAs("subclass"));
        seen.put("inherited second: ZK7U_ADDED", Readers.seenAs(null));
        assertEquals(seen, new HashMap<>(Fixtures.SEEN));
        assertLeftAsFound(before);
    }

    /** What each point of a class's run sees: its values again before each test, put back after each test, nested class, class. */
    @Test
    void eachTestStartsFromItsClassesValuesAndEachPointPutsBack() {
        Map<String, String> before = now(WATCHED);
        Map<String, String> seen = new HashMap<>();
        seen.put("beforeAll: ZK7U_CLASS", Readers.seenAs("class"));
        seen.put("first: ZK7U_CLASS", Readers.seenAs("class"));  // what @BeforeAll changed is set again
        seen.put("second: ZK7U_CLASS", Readers.seenAs("class"));  // and what first changed too
        seen.put("second: ZK7U_ADDED", Readers.seenAs(null));  // put back after each test
        seen.put("inner afterAll: ZK7U_ADDED", Readers.seenAs(null));
        seen.put("inner afterAll: ZK7U_NATIVE", Readers.seenAs("inner beforeAll"));
        seen.put("afterAll: ZK7U_NATIVE", Readers.seenAs(null));  // after the nested class
        seen.put("afterAll: ZK7U_CLASS", Readers.seenAs("beforeAll"));  // what @BeforeAll left, till the class ends
        assertEquals(new ArrayList<String>(), failures(run(Fixtures.PutsBackAtEachPoint.class)));
        assertLeftAsFound(before);
        assertEquals(seen, new HashMap<>(Fixtures.SEEN));
    }

    /** Child JVM entry: runs each fixture named and says whether a child's env -0 reads the same before and after. */
    public static void main(String[] args) throws Exception {
        for (String fixture : args) {
            byte[] before = Readers.envBytes();
            TestExecutionSummary summary = run(Class.forName(fixture));
            System.out.println(Class.forName(fixture).getSimpleName() + ": " + summary.getTestsSucceededCount() + " passed, "
                + (Arrays.equals(before, Readers.envBytes()) ? "the same" : "changed from\n" + new String(before, "ISO-8859-1")
                + "\nto\n" + new String(Readers.envBytes(), "ISO-8859-1")));
        }
    }

    /** Whatever a parent left, an empty value or bytes that are not UTF-8, a test that did not set it leaves as it was. */
    @Test
    void inheritedEmptyValuesAndBytesThatAreNotUtf8ArePutBackAsTheyWere() throws Exception {
        List<String> command = new ArrayList<>(Arrays.asList("/bin/sh", "-c",
            "exec env ZK7U_EMPTY= \"ZK7U_LATIN1=$(printf 'caf\\351')\" \"$@\"", "sh",
            System.getProperty("java.home") + "/bin/java"));
        for (String option : ManagementFactory.getRuntimeMXBean().getInputArguments()) {
            if (option.contains("native-access")) {
                command.add(option);
            }
        }
        command.addAll(Arrays.asList("-cp", System.getProperty("java.class.path"), EnvironmentAnnotationsTest.class.getName(),
            Fixtures.ChangesInheritedBytes.class.getName(), Fixtures.RestoresInheritedBytes.class.getName()));
        Process child = new ProcessBuilder(command).redirectErrorStream(true).start();
        String out = new String(child.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertEquals(0, child.waitFor(), out);
        assertEquals("ChangesInheritedBytes: 1 passed, the same\nRestoresInheritedBytes: 1 passed, the same\n", out);
    }

    @Test
    void aFailedOrAbortedTestLeavesNothingBehind() {
        Map<String, String> before = now(WATCHED);
        TestExecutionSummary summary = run(Fixtures.FailingAndAborted.class);
        assertEquals(1, summary.getTestsFailedCount(), failures(summary).toString());
        assertEquals(1, summary.getTestsAbortedCount());
        assertLeftAsFound(before);
        assertEquals(null, System.getenv("ZK7U_FAILED"));
    }

    @Test
    void restoringPutsBackWhateverChangedTheEnvironment() {
        Map<String, String> before = now(WATCHED);
        Map<String, String> whole = NativeTools.environment();
        TestExecutionSummary summary = run(Fixtures.RestoresEverything.class);
        assertEquals(new ArrayList<String>(), failures(summary));
        assertEquals(whole, NativeTools.environment());
        assertLeftAsFound(before);
    }

    @Test
    void inParallelNoWriterOverlapsAnotherWriterOrAReader() {
        Map<String, String> before = now(WATCHED);
        Map<String, String> parallel = new HashMap<>();
        parallel.put("junit.jupiter.execution.parallel.enabled", "true");
        parallel.put("junit.jupiter.execution.parallel.mode.default", "concurrent");
        TestExecutionSummary summary = run(Fixtures.Parallel.class, parallel);
        assertEquals(new ArrayList<String>(), failures(summary));
        assertEquals(36, summary.getTestsSucceededCount());
        List<String> faults = new ArrayList<>(Fixtures.FAULTS);
        assertEquals(new ArrayList<String>(), faults.subList(0, Math.min(5, faults.size())), faults.size() + " overlaps");
        assertLeftAsFound(before);
    }

    @Test
    void badAnnotationsFailTheTestBeforeItRunsNamingWhatAndWhere() {
        Map<String, String> before = now(WATCHED);
        String method = "method quorvalen.zelka.junit.Fixtures$%s.test(): ";
        Object[][] cases = {
            {Fixtures.EmptyName.class, "@SetEnvironmentVariable(name = \"\", value = \"x\") on " + method + "the name is empty"},
            {Fixtures.NameWithEquals.class, "@ClearEnvironmentVariable(name = \"ZK7U_A=B\") on " + method + "the name contains '='"},
            {Fixtures.NameWithNul.class, "@SetEnvironmentVariable(name = \"ZK7U_\\0\", value = \"x\") on " + method
                + "the name contains U+0000"},
            {Fixtures.ValueWithNul.class, "@SetEnvironmentVariable(name = \"ZK7U_UNTOUCHED\", value = \"a\\0b\") on " + method
                + "the value contains U+0000"},
            {Fixtures.SetTwice.class, "@SetEnvironmentVariable(name = \"ZK7U_TWICE\", value = \"2\") on " + method
                + "ZK7U_TWICE is set or cleared more than once there"},
            {Fixtures.SetAndClearedOnAClass.class, "@ClearEnvironmentVariable(name = \"ZK7U_TWICE\") on class "
                + "quorvalen.zelka.junit.Fixtures$SetAndClearedOnAClass: ZK7U_TWICE is set or cleared more than once there"},
        };
        for (Object[] c : cases) {
            Class<?> fixture = (Class<?>) c[0];
            TestExecutionSummary summary = run(fixture);
            List<String> failures = failures(summary);
            assertEquals(1, failures.size(), fixture.getName());
            assertEquals("test(): org.junit.jupiter.api.extension.ExtensionConfigurationException: "
                + String.format((String) c[1], fixture.getSimpleName()), failures.get(0).replaceFirst("^[^:]*: ", "test(): "));
            assertLeftAsFound(before);
        }
        assertEquals(new ArrayList<String>(), new ArrayList<>(Fixtures.FAULTS), "a refused test ran");
    }
}
