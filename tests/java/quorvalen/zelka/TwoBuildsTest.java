// Today's build beside an earlier version's and a later one's in one JVM, each loaded first in turn.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.net.URI;
import java.nio.file.FileSystem;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.util.Collections;
import java.util.List;
import java.util.stream.Stream;
import org.junit.jupiter.api.Assumptions;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * Two versions of the library in one process, as two applications of a container bring them:
 * whichever is loaded first, names added through both at once are all kept and read whole, and
 * only today's copy beside an earlier version without a serving contract says what it cannot share.
 */
@Tag("builds")
class TwoBuildsTest {
    @TempDir
    static Path scratch;
    static String today;
    static String later;
    static String earlier;

    /** Today's jar with the host's library replaced by a later version's. */
    @BeforeAll
    static void makeTheLaterJar() throws Exception {
        today = System.getProperty("zknative7.test.jar");
        Path jar = scratch.resolve("later.jar");
        Files.copy(Paths.get(today), jar);
        try (FileSystem zip = FileSystems.newFileSystem(URI.create("jar:" + jar.toUri()), Collections.emptyMap())) {
            String library = System.mapLibraryName(NativeLibrary.NAME);
            Path entry = zip.getPath("META-INF/native", System.getProperty("zknative7.test.platform"), library);
            Files.copy(Paths.get(System.getProperty("zknative7.test.laterLibrary")), entry, StandardCopyOption.REPLACE_EXISTING);
        }
        later = jar.toString();
        earlier = System.getProperty("zknative7.test.earlierJar", "");
    }

    static Stream<Arguments> pairs() {
        return Stream.of(Arguments.of("earlier", "today"), Arguments.of("today", "earlier"),
            Arguments.of("later", "today"), Arguments.of("today", "later"));
    }

    static String jarOf(String version) {
        return version + "=" + (version.equals("today") ? today : version.equals("later") ? later : earlier);
    }

    @ParameterizedTest(name = "{0} first, {1} second")
    @MethodSource("pairs")
    void bothVersionsShareOneEnvironment(String first, String second) throws Exception {
        Assumptions.assumeTrue(!earlier.isEmpty() || !(first + second).contains("earlier"),
            () -> "no earlier build: " + System.getProperty("zknative7.test.earlierMissing"));
        String probes = new File(TwoBuildsProbe.class.getProtectionDomain().getCodeSource().getLocation().toURI()).getPath();
        List<String> command = ChildProcessTest.javaCommand();
        // Following asked from the start: beside an earlier copy it cannot be, and all else still works.
        command.addAll(List.of("-Xcheck:jni", "-Dzknative7.jdkView=follow", "-cp", probes, TwoBuildsProbe.class.getName(),
            jarOf(first), jarOf(second)));
        ChildProcessTest.Finished child = ChildProcessTest.run(new ProcessBuilder(command));
        String out = child.text();
        System.out.println(first + " first, " + second + " second: " + out.replace('\n', ';') + " stderr: " + child.err);
        assertEquals(0, child.status, child.err);
        assertTrue(out.contains("lost 0\n") && out.contains("faults 0 []\n") && out.contains("listings agree: true\n"), out);
        // Today's copy beside an earlier first one says once what it cannot do, and refuses that.
        boolean besideEarlier = first.equals("earlier");
        long notes = child.err.lines().filter(line -> line.startsWith("zknative7: ")).count();
        assertEquals(besideEarlier ? 2 : 0, notes, child.err);
        assertTrue(child.err.isEmpty() || child.err.contains("is an earlier version without a serving contract")
            && child.err.contains("zknative7: -Dzknative7.jdkView=follow: "), child.err);
        String follow = besideEarlier ? "follow today: refused: java.lang.UnsupportedOperationException"
                                      : "follow today: yes";
        assertTrue(out.contains(follow), out);
    }
}
