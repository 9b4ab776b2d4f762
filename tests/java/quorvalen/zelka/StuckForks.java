package quorvalen.zelka;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.TimeUnit;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/**
 * Finds children stuck in qemu-user's fork: now and then a fork of a multithreaded guest waits
 * forever on a futex of qemu's own before it reaches exec. Such a process still has its parent's
 * command line, which no program the tests start ever keeps for long.
 */
final class StuckForks {
    /** How long a fork may keep its parent's command line before it counts as stuck. */
    static final long GRACE_MILLIS = 20_000;
    /**
     * How long an emulated child may run at all. Rarely an emulated JVM also stalls for good with
     * no fork in sight; the slowest child the suites start takes about a minute under qemu.
     */
    static final long MOST_MILLIS = 240_000;

    private StuckForks() {
    }

    /** The process and those of its descendants that are forks still running their parent's image. */
    static Set<Long> unexecuted(ProcessHandle process) {
        Set<Long> found = new HashSet<>();
        List<ProcessHandle> tree = Stream.concat(Stream.of(process), process.descendants()).collect(Collectors.toList());
        for (ProcessHandle handle : tree) {
            byte[] own = commandLine(handle.pid());
            long parent = handle.parent().map(ProcessHandle::pid).orElse(-1L);
            if (own.length > 0 && parent > 0 && Arrays.equals(own, commandLine(parent))) {
                found.add(handle.pid());
            }
        }
        return found;
    }

    static byte[] commandLine(long pid) {
        try {
            // Through task/, since qemu-user answers /proc/<its own pid>/cmdline with the guest's arguments.
            return Files.readAllBytes(Paths.get("/proc/" + pid + "/task/" + pid + "/cmdline"));
        } catch (IOException e) {
            return new byte[0];  // gone, or not Linux
        }
    }

    /**
     * Watches {@code process} until it ends; when a fork in its tree stays unexecuted past
     * {@code graceMillis}, or the process outlives {@code mostMillis}, kills the whole tree and
     * returns true.
     */
    static boolean killIfStuck(Process process, long graceMillis, long mostMillis) throws InterruptedException {
        Map<Long, Long> firstSeen = new HashMap<>();
        long started = System.currentTimeMillis();
        while (!process.waitFor(1, TimeUnit.SECONDS)) {
            long now = System.currentTimeMillis();
            Set<Long> unexecuted = unexecuted(process.toHandle());
            firstSeen.keySet().retainAll(unexecuted);
            boolean stuck = now - started > mostMillis;
            for (long pid : unexecuted) {
                stuck |= now - firstSeen.computeIfAbsent(pid, p -> now) > graceMillis;
            }
            if (stuck) {
                process.toHandle().descendants().forEach(ProcessHandle::destroyForcibly);
                process.destroyForcibly();
                return true;
            }
        }
        return false;
    }
}
