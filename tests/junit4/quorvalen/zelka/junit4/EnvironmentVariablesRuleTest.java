// The JUnit 4 rule and class rule, run through JUnitCore on the fixtures.
package quorvalen.zelka.junit4;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import org.junit.experimental.ParallelComputer;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.runner.Computer;
import org.junit.runner.JUnitCore;
import org.junit.runner.Result;
import org.junit.runner.notification.Failure;
import quorvalen.zelka.NativeTools;

class EnvironmentVariablesRuleTest {
    static final String[] WATCHED = {"ZK7R_SET", "ZK7R_PRESET", "ZK7R_LATE", "ZK7R_CLASS", "ZK7R_SHARED"};

    @BeforeEach
    void preset() {
        RuleFixtures.SEEN.clear();
        RuleFixtures.FAULTS.clear();
        assertTrue(NativeTools.setenv("ZK7R_PRESET", "preset \uDC00"));
    }

    @AfterEach
    void unset() {
        assertTrue(NativeTools.unsetenv("ZK7R_PRESET"));
    }

    static Map<String, String> now() {
        Map<String, String> seen = new HashMap<>();
        for (String name : WATCHED) {
            seen.put(name, NativeTools.getenv(name));
        }
        return seen;
    }

    static String seenAs(String value) {
        return value + " | " + value + " | " + value;
    }

    /** What failed, "test: message", after a run of the fixtures that left every watched name as it found it. */
    static List<String> run(Computer computer, Class<?>... fixtures) {
        Map<String, String> before = now();
        Result result = new JUnitCore().run(computer, fixtures);
        List<String> failures = new ArrayList<>();
        for (Failure failure : result.getFailures()) {
            failures.add(failure.getDescription().getMethodName() + ": " + failure.getMessage());
        }
        assertEquals(before, now(), "left behind by " + failures);
        assertEquals(NativeTools.getenv("ZK7R_PRESET"), System.getenv("ZK7R_PRESET"), "the JDK's copy put back too");
        return failures;
    }

    @Test
    void aTestSeesTheRulesValuesAndEveryOutcomePutsThemBack() {
        List<String> failures = run(new Computer(), RuleFixtures.AroundEachTest.class, RuleFixtures.BeforeFails.class);
        assertEquals(3, failures.size(), failures.toString());  // an assumption is no failure
        assertTrue(failures.contains("fails: on purpose"), failures.toString());
        assertTrue(failures.contains("timesOut: test timed out after 100 milliseconds"), failures.toString());
        assertTrue(failures.contains("test: on purpose"), failures.toString());
        Map<String, String> seen = new HashMap<>();
        seen.put("each: ZK7R_PRESET", seenAs(null));
        seen.put("each: ZK7R_LATE", seenAs("late"));
        seen.put("each: ZK7R_SET", seenAs(null));
        assertEquals(seen, new HashMap<>(RuleFixtures.SEEN));
        assertEquals(new ArrayList<String>(), new ArrayList<>(RuleFixtures.FAULTS));
    }

    @Test
    void aClassRulesValuesHoldForTheClassAndTheRulesOfItsTests() {
        assertEquals(new ArrayList<String>(), run(new Computer(), RuleFixtures.AroundTheClass.class));
        Map<String, String> seen = new HashMap<>();
        seen.put("beforeClass: ZK7R_CLASS", seenAs("class"));
        seen.put("beforeClass: ZK7R_SET", seenAs(null));
        seen.put("class: ZK7R_CLASS", seenAs("class"));
        seen.put("class: ZK7R_SET", seenAs("method"));
        assertEquals(seen, new HashMap<>(RuleFixtures.SEEN));
    }

    @Test
    void badNamesAndValuesFailTheTestNamingTheRuleTheNameAndTheTest() {
        String test = "(quorvalen.zelka.junit4.RuleFixtures$";
        assertEquals(List.of("test: EnvironmentVariablesRule.set(\"ZK7R_A=B\", \"x\") for test" + test
            + "BadName): name contains '=': ZK7R_A=B"), run(new Computer(), RuleFixtures.BadName.class));
        assertEquals(List.of("test: EnvironmentVariablesRule.set(\"ZK7R_SET\", \"a\\0b\") for test" + test
            + "BadValueWhileRunning): value contains U+0000"), run(new Computer(), RuleFixtures.BadValueWhileRunning.class));
        assertEquals(new ArrayList<String>(), new ArrayList<>(RuleFixtures.FAULTS));
    }

    @Test
    void inParallelNoTestSeesAnothersValues() {
        List<String> failures = run(new ParallelComputer(true, true), RuleFixtures.Writers.class,
            RuleFixtures.MoreWriters.class, RuleFixtures.ClassWriters.class);
        assertEquals(new ArrayList<String>(), failures);
        List<String> faults = new ArrayList<>(RuleFixtures.FAULTS);
        assertEquals(new ArrayList<String>(), faults.subList(0, Math.min(5, faults.size())), faults.size() + " overlaps");
    }
}
