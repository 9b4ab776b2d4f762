// A JUnit 4 rule that sets and clears environment variables around each test, or a whole class, and puts everything back.
package quorvalen.zelka.junit4;

import java.util.ArrayList;
import java.util.List;
import org.junit.rules.TestRule;
import org.junit.runner.Description;
import org.junit.runners.model.Statement;
import quorvalen.zelka.EnvironmentLock;
import quorvalen.zelka.EnvironmentScope;

/**
 * Sets and clears environment variables on the real environment of the process around each test
 * ({@code @Rule}) or around a whole class ({@code @ClassRule}), and puts back exactly what it
 * changed afterwards, whether the test passed, failed, was skipped by an assumption, timed out, or
 * its {@code @Before} method failed:
 *
 * <pre>{@code
 * @Rule
 * public final EnvironmentVariablesRule environment = new EnvironmentVariablesRule().set("TZ", "UTC").clear("LANG");
 *
 * @Test
 * public void invoicesAreDatedInUtc() {
 *     environment.set("BILLING_REGION", "eu-west-1");  // for this test only, put back too
 *     ...
 * }
 * }</pre>
 *
 * <p>Native code and children see the values, and so does the JDK's own copy
 * ({@code System.getenv}, {@code ProcessBuilder}), which follows while the rule is in force. An
 * empty value removes the variable. A name that is empty or holds {@code '='} or U+0000, or a
 * value that holds U+0000, fails the test with a message naming this rule, the name and the test,
 * and changes nothing.
 *
 * <p>Keep the rule outside a {@code Timeout} rule ({@code RuleChain.outerRule(environment).around(timeout)}):
 * that rule runs what it wraps on a thread JUnit leaves running when the time is up, so the values
 * would stay until that thread ends.
 *
 * <p>In parallel runs (JUnit's {@code ParallelComputer}, Surefire's {@code parallel=methods}) the
 * rule holds the process's {@link EnvironmentLock} while its changes stand, which zknative7-junit's
 * JUnit Jupiter extension takes too: tests using it run one at a time, and a class rule's class lets
 * in its own tests, one at a time. A test never sees another's values, nor has its own put back
 * under it.
 */
public class EnvironmentVariablesRule implements TestRule {
    /** Each name and its value (null: cleared), in the order asked. */
    private final List<String[]> changes = new ArrayList<>();
    private EnvironmentScope running;
    private Description test;

    /** A rule that changes nothing yet. */
    public EnvironmentVariablesRule() {
    }

    /**
     * Sets or replaces a variable: before each test (or the class), or at once while one runs; an
     * empty value removes it.
     *
     * @param name the variable's name
     * @param value its value
     * @return this rule
     * @throws IllegalArgumentException while a test runs, for a name or value that cannot be set
     */
    public EnvironmentVariablesRule set(String name, String value) {
        return change(name, value, true);
    }

    /**
     * Removes a variable: before each test (or the class), or at once while one runs.
     *
     * @param name the variable's name
     * @return this rule
     * @throws IllegalArgumentException while a test runs, for a name that cannot be removed
     */
    public EnvironmentVariablesRule clear(String name) {
        return change(name, null, false);
    }

    private synchronized EnvironmentVariablesRule change(String name, String value, boolean setting) {
        if (running != null) {
            applyTo(running, name, value, setting, test);
        } else {
            changes.add(new String[] {name, value, setting ? "set" : "clear"});
        }
        return this;
    }

    private static void applyTo(EnvironmentScope scope, String name, String value, boolean setting, Description test) {
        try {
            if (setting) {
                scope.set(name, value);
            } else {
                scope.clear(name);
            }
        } catch (IllegalArgumentException refused) {
            String call = setting ? "set(" + quoted(name) + ", " + quoted(value) + ")" : "clear(" + quoted(name) + ")";
            throw new IllegalArgumentException("EnvironmentVariablesRule." + call + " for " + test + ": "
                + refused.getMessage(), refused);
        }
    }

    private static String quoted(String text) {
        return text == null ? "null" : "\"" + text.replace("\0", "\\0") + "\"";
    }

    @Override
    public Statement apply(Statement base, Description description) {
        return new Statement() {
            @Override
            public void evaluate() throws Throwable {
                // A class's own tests come in under its hold; a test under its class's.
                Object holder = description.isTest() || description.getTestClass() == null ? description : description.getTestClass();
                EnvironmentLock.Hold hold = EnvironmentLock.hold(holder, description.getTestClass());
                try {
                    EnvironmentScope scope = EnvironmentScope.open();
                    scope.call(() -> {
                        start(scope, description);
                        try {
                            base.evaluate();
                        } finally {
                            stop();
                        }
                        return null;
                    });
                } finally {
                    hold.close();
                }
            }
        };
    }

    private synchronized void start(EnvironmentScope scope, Description description) {
        for (String[] change : changes) {
            applyTo(scope, change[0], change[1], change[2].equals("set"), description);
        }
        running = scope;
        test = description;
    }

    private synchronized void stop() {
        running = null;
        test = null;
    }
}
