package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Collections;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Test;

/** The watch that restarts children stuck in qemu-user's fork, on real processes. */
class StuckForksTest {
    // A subshell with more to do than one command is a fork of sh that never execs: the same state
    // as a fork stuck before exec. A plain command execs at once.
    static final String[] SUBSHELL = {"sh", "-c", "(sleep 30; true); true"};

    @Test
    void aForkThatNeverExecsIsFoundAndItsTreeKilled() throws Exception {
        Process shell = new ProcessBuilder(SUBSHELL).start();
        try {
            long deadline = System.currentTimeMillis() + 10_000;
            while (StuckForks.unexecuted(shell.toHandle()).isEmpty() && System.currentTimeMillis() < deadline) {
                Thread.sleep(50);
            }
            long subshell = StuckForks.unexecuted(shell.toHandle()).iterator().next();
            assertEquals(shell.pid(), ProcessHandle.of(subshell).get().parent().get().pid());
            assertTrue(StuckForks.killIfStuck(shell, 1_000, 60_000));
            assertTrue(shell.waitFor(5, TimeUnit.SECONDS));
            // A killed orphan lingers until its new parent reaps it.
            deadline = System.currentTimeMillis() + 10_000;
            while (ProcessHandle.of(subshell).map(ProcessHandle::isAlive).orElse(false) && System.currentTimeMillis() < deadline) {
                Thread.sleep(50);
            }
            assertFalse(ProcessHandle.of(subshell).map(ProcessHandle::isAlive).orElse(false), "the subshell lives on");
        } finally {
            shell.toHandle().descendants().forEach(ProcessHandle::destroyForcibly);
            shell.destroyForcibly();
        }
    }

    @Test
    void programsThatExecAreLeftToFinish() throws Exception {
        Process sleeper = new ProcessBuilder("sh", "-c", "sleep 3").start();
        Thread.sleep(500);
        assertEquals(Collections.emptySet(), StuckForks.unexecuted(sleeper.toHandle()));
        assertFalse(StuckForks.killIfStuck(sleeper, 1_000, 60_000));
        assertEquals(0, sleeper.exitValue());
    }

    @Test
    void aChildThatOutlivesItsTimeIsKilled() throws Exception {
        Process sleeper = new ProcessBuilder("sleep", "60").start();
        assertTrue(StuckForks.killIfStuck(sleeper, 60_000, 2_000));
        assertTrue(sleeper.waitFor(5, TimeUnit.SECONDS));
    }
}
