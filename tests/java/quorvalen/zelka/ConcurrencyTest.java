// Threads changing variables at once: every read is a whole value, and no write is lost.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import java.util.concurrent.ConcurrentLinkedQueue;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;

/**
 * Threads setting, replacing and removing one shared variable and one each of their own: every read
 * is a whole value some thread wrote, or null after a removal, and no thread loses its own writes.
 */
@Tag("architecture")
class ConcurrencyTest {
    static final int THREADS = 8;
    static final int ROUNDS = 3000;

    @Test
    void sharedAndOwnVariablesStayWhole() throws Exception {
        // Values of different lengths, some too long for the library's stack buffers, so a torn
        // or freed read could not pass for a written one.
        List<String> written = Arrays.asList("short", "\u041f\u0440\u0438\u0432\u0435\u0442",
            NativeToolsTest.repeat("\u4e2d\uD83D\uDE00", 200), NativeToolsTest.repeat("x", 1000), "\uD800=\uDFFF");
        Set<String> allowed = new HashSet<>(written);
        assertTrue(NativeTools.setenv("ZK7J_RACE", written.get(0)));

        ConcurrentLinkedQueue<String> faults = new ConcurrentLinkedQueue<>();
        Race race = new Race();
        for (int t = 0; t < THREADS; t++) {
            final int id = t;
            String own = "ZK7J_OWN_" + id;
            race.racer("thread " + id, ROUNDS, i -> {
                String mine = written.get((int) ((i + id) % written.size()));
                boolean removing = (i + id) % 7 == 0;
                if (!(removing ? NativeTools.unsetenv("ZK7J_RACE") : NativeTools.setenv("ZK7J_RACE", mine))) {
                    fault(faults, "shared change refused");
                }
                String seen = NativeTools.getenv("ZK7J_RACE");
                if (seen != null && !allowed.contains(seen)) {
                    fault(faults, "torn shared value of " + seen.length() + " units");
                }
                String ownValue = mine + id + ":" + i;
                NativeTools.setenv(own, ownValue);
                if (!ownValue.equals(NativeTools.getenv(own))) {
                    fault(faults, "lost own value in thread " + id);
                }
                if (i % 3 == 0 && (!NativeTools.unsetenv(own) || NativeTools.getenv(own) != null)) {
                    fault(faults, "own removal failed in thread " + id);
                }
            });
        }
        long[] rounds = race.run();
        System.out.printf("%d threads, %s rounds in %d ms%n", THREADS, Arrays.toString(rounds), race.millis());
        assertEquals(new ArrayList<String>(), new ArrayList<>(faults));
        for (int t = 0; t < THREADS; t++) {
            NativeTools.unsetenv("ZK7J_OWN_" + t);
        }
        assertTrue(NativeTools.unsetenv("ZK7J_RACE"));
    }

    /** Keeps the first few faults; a broken build would otherwise collect millions. */
    static void fault(ConcurrentLinkedQueue<String> faults, String what) {
        if (faults.size() < 10) {
            faults.add(what);
        }
    }
}
