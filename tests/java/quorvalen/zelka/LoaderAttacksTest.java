// Another local user against a JVM loading the jar's library: leased locks planted, folders swapped for links, a shared parent.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.io.BufferedReader;
import java.io.File;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.FileTime;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.TreeSet;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.TimeoutException;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.api.io.TempDir;

/**
 * A victim JVM loads the library from the jar as one throw-away uid while another plays the
 * attacker, each run by setpriv with no account; root sets the scene in folders of the test's
 * own. Every attack runs against both of the loader's ways: Linux's, and Windows' with the JVM
 * told it runs on Windows (where an access list would be read, owner and mode stand in). Every
 * wait on another process is on a pipe or a process, with a bound.
 */
@Tag("attacks")
class LoaderAttacksTest {
    static final String OTHER_USER = System.getProperty("zknative7.test.otherUser");
    static final String FOREIGN_LIBRARY = System.getProperty("zknative7.test.foreignLibrary");
    // Uids no account uses, so that nothing but this test's files and processes have them.
    static final int VICTIM = 2_000_000_001;
    static final int ATTACKER = 2_000_000_002;
    static final long BOUND_SECONDS = 120;

    /** The victim JVM's entry: its first use of NativeTools, and how long that took; nothing else of the tests. */
    static final class FirstUse {
        public static void main(String[] args) {
            long start = System.nanoTime();
            try {
                String source = NativeTools.librarySource();
                System.out.println("loaded " + source + " in " + TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - start) + " ms");
            } catch (LinkageError e) {
                System.out.println("failed " + e.getMessage());
                System.exit(3);
            }
        }
    }

    /** The jar for the Windows way, with this JVM's library where Windows' is kept. */
    static String windowsShaped;

    @BeforeAll
    static void asRoot(@TempDir Path shared) throws Exception {
        assumeTrue(Files.getAttribute(Paths.get("/proc/self"), "unix:uid").equals(0),
            "skipped: the attacks need root, to run a victim and an attacker as uids of their own");
        NativeLoaderTest.chmod("755", shared);
        windowsShaped = NativeLoaderTest.windowsShaped(shared).toString();
    }

    /** The options and jar of each of the loader's ways. */
    enum Way {
        LINUX, WINDOWS;

        String jar() {
            return this == LINUX ? NativeLoaderTest.JAR : windowsShaped;
        }

        /** Where this way keeps the library in the jar, from its root. */
        String library() {
            String osName = this == LINUX ? System.getProperty("os.name") : NativeLoaderTest.WINDOWS_NAME;
            return JarResources.library(JarResources.PLATFORMS.platform(osName, System.getProperty("os.arch"))).substring(1);
        }
    }

    static List<String> as(int uid, String... command) {
        List<String> line = new ArrayList<>(Arrays.asList("setpriv", "--reuid=" + uid, "--regid=" + uid, "--clear-groups"));
        line.addAll(Arrays.asList(command));
        return line;
    }

    static void give(int uid, String mode, Path... paths) throws Exception {
        for (Path path : paths) {
            Files.setAttribute(path, "unix:uid", uid);
            NativeLoaderTest.chmod(mode, path);
        }
    }

    /** A victim JVM loading from the jar under {@code parent}: what it printed, and how long it took to end. */
    static Victim victim(Path parent, Way way) throws Exception {
        return victim(parent, way, way.jar());
    }

    static Victim victim(Path parent, Way way, String classPath) throws Exception {
        List<String> command = as(VICTIM, ChildProcessTest.JAVA, "-XX:-UsePerfData", "-Dzknative7.tmpdir=" + parent);
        if (NativeLoaderTest.FEATURE >= 22) {
            command.add("--enable-native-access=ALL-UNNAMED");
        }
        if (way == Way.WINDOWS) {
            command.add(NativeLoaderTest.WINDOWS);
        }
        command.addAll(Arrays.asList("-cp", classPath + File.pathSeparator + NativeLoaderTest.testClasses(),
            FirstUse.class.getName()));
        File out = parent.resolveSibling(parent.getFileName() + ".out").toFile();
        File err = parent.resolveSibling(parent.getFileName() + ".err").toFile();
        long start = System.nanoTime();
        Process process = new ProcessBuilder(command).redirectOutput(out).redirectError(err).start();
        process.getOutputStream().close();
        if (!process.waitFor(BOUND_SECONDS, TimeUnit.SECONDS)) {
            process.destroyForcibly().waitFor();
            fail("the victim did not end within " + BOUND_SECONDS + " s");
        }
        long millis = TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - start);
        return new Victim(process.exitValue(), new String(Files.readAllBytes(out.toPath()), StandardCharsets.UTF_8),
            new String(Files.readAllBytes(err.toPath()), StandardCharsets.UTF_8), millis);
    }

    static final class Victim {
        final int status;
        final String out;
        final String err;
        final long millis;

        Victim(int status, String out, String err, long millis) {
            this.status = status;
            this.out = out;
            this.err = err;
            this.millis = millis;
            System.out.println("the victim took " + millis + " ms: " + out.trim() + (err.isEmpty() ? "" : " / " + err.trim()));
        }

        @Override
        public String toString() {
            return "status " + status + " after " + millis + " ms: " + out + err;
        }
    }

    /** The attacker's helper, run as {@link #ATTACKER}, read line by line with a bound. */
    static final class OtherUser implements AutoCloseable {
        private final Process process;
        private final BufferedReader out;
        private final ExecutorService reader = Executors.newSingleThreadExecutor();

        OtherUser(String... args) throws Exception {
            List<String> command = as(ATTACKER, OTHER_USER);
            command.addAll(Arrays.asList(args));
            process = new ProcessBuilder(command).redirectError(ProcessBuilder.Redirect.INHERIT).start();
            out = new BufferedReader(new InputStreamReader(process.getInputStream(), StandardCharsets.UTF_8));
        }

        String line() throws Exception {
            try {
                return reader.submit(out::readLine).get(BOUND_SECONDS, TimeUnit.SECONDS);
            } catch (TimeoutException silent) {
                return fail("the other user's helper printed nothing within " + BOUND_SECONDS + " s");
            }
        }

        /** Ends its input, and returns the count it prints last. */
        String finish() throws Exception {
            process.getOutputStream().close();
            String last = null;
            for (String line; (line = line()) != null; ) {
                last = line;
            }
            return last;
        }

        @Override
        public void close() throws Exception {
            process.destroyForcibly().waitFor();
            reader.shutdownNow();
        }
    }

    /**
     * The other user plants a folder with an hour-old lock file and holds a lease on it: opening
     * it at all would wait out the lease (45 s by default), and with the swap the opener
     * would go on through a link to the victim's own folder. Neither may cost the victim a wait
     * or a file, whether planted beside the victim's folder or in a folder of its name taken first.
     */
    @Test
    void aPlantedLeasedLockCostsNoWaitAndASwappedFolderDeletesNothing(@TempDir Path scratch) throws Exception {
        NativeLoaderTest.chmod("755", scratch);
        String own = "zknative7-" + VICTIM;
        // where the lock file is planted, and whether its folder is swapped for a link when the lease breaks
        Object[][] cases = {
            {"zknative7-planted/.lock", false},
            {"zknative7-planted/.lock", true},
            {own + "/zknative7-planted/.lock", true},
        };
        List<Executable> runs = new ArrayList<>();
        for (int i = 0; i < cases.length * 2; i++) {
            Object[] c = cases[i / 2];
            Way way = Way.values()[i % 2];
            Path parent = Files.createDirectory(scratch.resolve("case" + i));
            Path files = Files.createDirectory(scratch.resolve("victim-files" + i));
            for (String name : new String[] {"a", "b", "c"}) {
                give(VICTIM, "600", Files.write(files.resolve(name), new byte[16]));
            }
            give(VICTIM, "700", files);
            runs.add(() -> plantLeasedLock(parent, way, (String) c[0], (Boolean) c[1] ? files : null, files, own));
        }
        assertAll(runs);
    }

    static void plantLeasedLock(Path parent, Way way, String planted, Path linkTarget, Path files, String own)
        throws Exception {
        NativeLoaderTest.chmod("1777", parent);  // as /tmp
        Path lock = parent.resolve(planted);
        TreeSet<String> expected = new TreeSet<>(Arrays.asList(own, planted));
        for (Path at = lock.getParent(); !at.equals(parent); at = at.getParent()) {
            expected.add(parent.relativize(at).toString());
            give(ATTACKER, "777", Files.createDirectories(at));
        }
        give(ATTACKER, "666", Files.write(lock, new byte[0]));
        Files.setLastModifiedTime(lock, FileTime.fromMillis(System.currentTimeMillis() - TimeUnit.HOURS.toMillis(1)));
        try (OtherUser attacker = linkTarget != null ? new OtherUser("lease", lock.toString(), linkTarget.toString())
            : new OtherUser("lease", lock.toString())) {
            assertEquals("leased", attacker.line());
            Victim victim = victim(parent, way);
            String breaks = attacker.finish();
            assertAll(way + ", " + planted + ", swapped " + (linkTarget != null) + ": " + victim,
                () -> assertEquals(0, victim.status),
                () -> assertTrue(victim.out.startsWith("loaded this jar's ")),
                () -> assertEquals("breaks 0", breaks, "the victim opened the planted lock"),
                () -> assertEquals(Arrays.asList("a", "b", "c"), new ArrayList<>(new TreeSet<>(NativeLoaderTest.leftIn(files)))),
                () -> assertEquals(expected, new TreeSet<>(NativeLoaderTest.leftIn(parent))));
        }
    }

    /**
     * The other user renames each new folder of the victim's away, puts its own in its place,
     * and renames a library of its own over the one written there before the victim loads it. A
     * parent where that is possible is refused before anything is written; a sticky one of root's
     * is used, as the other user cannot rename what the victim made there.
     */
    @Test
    void aParentAnotherUserCanChangeIsRefusedBeforeAnythingIsWritten(@TempDir Path scratch) throws Exception {
        NativeLoaderTest.chmod("755", scratch);
        // the parent's owner and mode, and what the refusal says of it (null: loaded)
        Object[][] cases = {
            {0, "777", "lets other users (mode 777) rename or delete what it holds, so they could replace the library"},
            {ATTACKER, "1777", "belongs to another user (uid " + ATTACKER + "), who could replace the library"},
            {0, "1777", null},
        };
        List<Executable> runs = new ArrayList<>();
        for (int i = 0; i < cases.length * 2; i++) {
            Object[] c = cases[i / 2];
            Way way = Way.values()[i % 2];
            Path parent = Files.createDirectory(scratch.resolve("case" + i));
            runs.add(() -> swapFolders(parent, way, (Integer) c[0], (String) c[1], (String) c[2]));
        }
        assertAll(runs);
    }

    static void swapFolders(Path parent, Way way, int owner, String mode, String wrong) throws Exception {
        give(owner, mode, parent);
        try (OtherUser attacker = new OtherUser("swap", parent.toString(), FOREIGN_LIBRARY)) {
            assertEquals("watching", attacker.line());
            Victim victim = victim(parent, way);
            String swaps = attacker.finish();
            assertAll(way + ", uid " + owner + ", mode " + mode + ": " + victim,
                () -> assertFalse(victim.err.contains("foreign code ran"), "the other user's code ran in the victim"),
                () -> assertEquals("swaps 0 replaced 0", swaps),
                () -> assertEquals(wrong == null ? 0 : 3, victim.status),
                () -> assertTrue(victim.out.startsWith(wrong == null ? "loaded this jar's " : "failed cannot load zknative7")),
                () -> assertTrue(wrong == null || victim.out.contains("in " + parent + ": refused: " + parent + " " + wrong
                    + " before it is loaded (choose a folder only you can change with -Dzknative7.tmpdir=DIR)")),
                () -> assertEquals(wrong == null ? Arrays.asList("zknative7-" + VICTIM) : Arrays.asList(),
                    NativeLoaderTest.leftIn(parent)));
        }
    }

    /** The other user's folder first on the victim's class path, holding a library where the jar keeps its own. */
    @Test
    void aLibraryEarlierOnTheClassPathIsNeverThisJarsCopy(@TempDir Path scratch) throws Exception {
        NativeLoaderTest.chmod("755", scratch);
        for (Way way : Way.values()) {
            Path parent = Files.createDirectory(scratch.resolve("parent-" + way));
            give(0, "1777", parent);
            Path planted = Files.createDirectory(scratch.resolve("planted-" + way));
            Path library = planted.resolve(way.library());
            Files.createDirectories(library.getParent());
            Files.copy(Paths.get(FOREIGN_LIBRARY), library);
            for (Path at = library; !at.equals(scratch); at = at.getParent()) {
                give(ATTACKER, at.equals(library) ? "755" : "777", at);
            }
            Victim victim = victim(parent, way, planted + File.pathSeparator + way.jar());
            assertAll(way + ": " + victim,
                () -> assertFalse(victim.err.contains("foreign code ran"), "the other user's code ran in the victim"),
                () -> assertEquals(0, victim.status),
                () -> assertTrue(victim.out.startsWith("loaded this jar's ")));
        }
    }

    /**
     * The other user makes this user's folder and removes it again without a pause: every first
     * use still loads, from a folder of its own when that name is not to be had. Where this user
     * can make no folder at all, the failure names the folder, its owner and what was wrong.
     */
    @Test
    void aFolderAnotherUserKeepsMakingAndRemovingNeverFailsFirstUse(@TempDir Path scratch) throws Exception {
        NativeLoaderTest.chmod("755", scratch);
        Path own = Paths.get("zknative7-" + VICTIM);
        for (Way way : Way.values()) {
            Path parent = Files.createDirectory(scratch.resolve("parent-" + way));
            give(0, "1777", parent);
            try (OtherUser attacker = new OtherUser("flap", parent.resolve(own).toString())) {
                assertEquals("flapping", attacker.line());
                for (int start = 0; start < 10; start++) {
                    Victim victim = victim(parent, way);
                    assertEquals(0, victim.status, way + ", start " + start + ": " + victim);
                    // Once the victim has its folder the other user cannot remove it: root does, for the next start.
                    NativeLoaderTest.rmIfOwnedBy(VICTIM, parent.resolve(own));
                }
                assertTrue(attacker.finish().matches("flaps [1-9][0-9]*"), "the other user never made the folder");
            }
            Path closed = Files.createDirectory(scratch.resolve("closed-" + way));
            Victim refused = victim(closed, way);
            assertAll(way + ": " + refused,
                () -> assertEquals(3, refused.status),
                () -> assertTrue(refused.out.contains("in " + closed + ": cannot make a folder of this user's in " + closed
                    + " (owner uid 0): permission denied")));
        }
    }
}
