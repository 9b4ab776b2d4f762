// The loader in child JVMs: each place used only when meant, each failure in one line, nothing left behind.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.io.File;
import java.io.IOException;
import java.io.RandomAccessFile;
import java.nio.channels.FileLock;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.FileTime;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.TreeSet;
import java.util.stream.Stream;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Which library gets loaded from where, what each failure says, and what it leaves behind. */
class NativeLoaderTest {
    static final String JAR = System.getProperty("zknative7.test.jar");
    static final String CLASSES = System.getProperty("zknative7.test.classes");
    static final String LIBRARY = System.getProperty("zknative7.test.library");
    static final int FEATURE = Integer.parseInt(
        System.getProperty("java.specification.version").replaceFirst("^1\\.", "").replaceFirst("\\..*", ""));
    static final String PLATFORM = JarResources.PLATFORMS.platform(System.getProperty("os.name"), System.getProperty("os.arch"));

    /** Child JVM entry: loads the library and prints where from, or the error; or holds a lock. */
    public static void main(String[] args) throws Exception {
        if (args.length == 2 && args[0].equals("hold")) {
            try (RandomAccessFile file = new RandomAccessFile(args[1], "rw"); FileLock lock = file.getChannel().lock()) {
                System.out.println("held");
                System.in.read();  // until the test closes our input
            }
            return;
        }
        try {
            System.out.println("loaded " + NativeTools.librarySource());
            System.out.println("PATH " + (NativeTools.getenv("PATH") != null));
        } catch (LinkageError e) {
            System.out.println("failed " + e.getMessage());
            System.exit(3);
        }
    }

    /** A child JVM running {@link #main} with these options and class path, and nothing else. */
    static ChildProcessTest.Finished load(String classPath, String... options) throws Exception {
        List<String> command = ChildProcessTest.javaCommand();
        command.add("-Xcheck:jni");
        if (FEATURE >= 22 && !Arrays.asList(options).contains("--illegal-native-access=deny")) {
            command.add("--enable-native-access=ALL-UNNAMED");
        }
        command.addAll(Arrays.asList(options));
        command.addAll(Arrays.asList("-cp", classPath + File.pathSeparator + testClasses(), NativeLoaderTest.class.getName()));
        return ChildProcessTest.run(command);
    }

    static String testClasses() throws Exception {
        return new File(NativeLoaderTest.class.getProtectionDomain().getCodeSource().getLocation().toURI()).getPath();
    }

    static Path corruptLibrary(Path folder) throws IOException {
        Path file = folder.resolve(System.mapLibraryName(NativeLibrary.NAME));
        Files.write(file, "not a library at all".getBytes("US-ASCII"));
        return file;
    }

    static List<String> leftIn(Path folder) throws IOException {
        List<String> left = new ArrayList<>();
        try (Stream<Path> entries = Files.walk(folder)) {
            entries.filter(p -> !p.equals(folder)).forEach(p -> left.add(folder.relativize(p).toString()));
        }
        return left;
    }

    @Test
    void platformsMapToTheJarsNames() {
        String[][] cases = {
            {"Linux", "amd64", "linux-x86_64"},
            {"Linux", "x86_64", "linux-x86_64"},
            {"Linux", "i386", "linux-x86"},
            {"Linux", "x86", "linux-x86"},
            {"Windows 10", "x86", "windows-x86"},
            {"Windows Server 2019", "amd64", "windows-x86_64"},
            {"Linux", "aarch64", "linux-aarch64"},
            {"Linux", "arm", "linux-arm"},
            {"Linux", "ppc64le", "linux-ppc64le"},
            {"Linux", "ppc64", null},  // big-endian POWER
            {"Linux", "s390x", "linux-s390x"},
            {"Windows 11", "aarch64", null},
            {"Mac OS X", "x86_64", null},
            {"FreeBSD", "amd64", null},
        };
        for (String[] c : cases) {
            assertEquals(c[2], JarResources.PLATFORMS.platform(c[0], c[1]), c[0] + "/" + c[1]);
        }
    }

    @Test
    @Tag("architecture")
    @Tag("jar")
    void theLoadedLibraryComesFromWhereTheSetupPutIt() {
        assertNotNull(NativeTools.getenv("PATH"));  // forces the load
        String source = NativeTools.librarySource();
        if (Boolean.getBoolean("zknative7.test.bundled")) {
            assertTrue(source.startsWith("this jar's " + PLATFORM + " copy: "), source);
            // Every platform this build packed, and no other.
            assertEquals(new TreeSet<>(Arrays.asList(System.getProperty("zknative7.test.carried").split(","))),
                new TreeSet<>(JarResources.carried()));
        } else {
            assertEquals("java.library.path: " + new File(LIBRARY).getAbsolutePath(), source);
        }
    }

    /** What a child JVM told to load from here or there prints; every failure is one line. */
    @Test
    void eachPlaceIsUsedOnlyWhenMeantAndNeverFallsBackSilently(@TempDir Path scratch) throws Exception {
        Path corruptFolder = Files.createDirectory(scratch.resolve("corrupt"));
        Path corrupt = corruptLibrary(corruptFolder);
        Path extractions = Files.createDirectory(scratch.resolve("extractions"));
        String bundled = "loaded this jar's " + PLATFORM + " copy: " + extractions;
        Object[][] cases = {
            // class path, options, exit status, what the first line starts with, and must contain;
            // only where a corrupt file is meant to be loaded may the JVM warn about it
            {JAR, new String[] {"-Djava.library.path=" + corruptFolder}, 0, bundled, ""},
            {JAR, new String[] {"-Djava.library.path=" + corruptFolder, "-Dzknative7.useLibraryPath=true"}, 0, bundled, ""},
            {CLASSES, new String[] {"-Djava.library.path=" + corruptFolder, "-Dzknative7.useLibraryPath=true"}, 3,
                "failed cannot load zknative7 from java.library.path; tried this jar, which carries no library",
                corrupt + ": file too short"},
            {CLASSES, new String[] {"-Djava.library.path=" + new File(LIBRARY).getParent()}, 3,
                "failed cannot load zknative7 for os.name=", "-Dzknative7.useLibraryPath=true"},
            {CLASSES, new String[] {"-Djava.library.path=" + new File(LIBRARY).getParent(), "-Dzknative7.useLibraryPath=true"}, 0,
                "loaded java.library.path: " + new File(LIBRARY).getAbsolutePath(), ""},
            {JAR, new String[] {"-Dzknative7.library=" + corrupt}, 3,
                "failed cannot load zknative7 from zknative7.library; tried " + corrupt + ": ", "file too short"},
            {JAR, new String[] {"-Dzknative7.library=" + scratch.resolve("missing.so")}, 3,
                "failed cannot load zknative7 from zknative7.library; tried " + scratch.resolve("missing.so"), ""},
            {JAR, new String[] {"-Dzknative7.library="}, 3, "failed zknative7.library is set but empty", ""},
            {CLASSES, new String[] {"-Dzknative7.library=" + LIBRARY}, 0,
                "loaded zknative7.library: " + new File(LIBRARY).getAbsolutePath(), ""},
        };
        for (Object[] c : cases) {
            List<String> options = new ArrayList<>(Arrays.asList((String[]) c[1]));
            options.add("-Dzknative7.tmpdir=" + extractions);
            ChildProcessTest.Finished child = load((String) c[0], options.toArray(new String[0]));
            String label = c[0] + " " + options + ": " + child.text() + child.err;
            assertEquals((int) c[2], child.status, label);
            String[] lines = child.text().split("\n");
            assertTrue(lines[0].startsWith((String) c[3]), label);
            assertTrue(lines[0].contains((String) c[4]), label);
            assertEquals(child.status == 0 ? 2 : 1, lines.length, label);
            if (!lines[0].contains(corrupt.toString())) {
                assertEquals("", child.err, label);  // no JVM warning about a corrupt library either
            }
            assertEquals(new ArrayList<String>(), leftIn(extractions), label);
        }
    }

    @Test
    void aFailedExtractionOrLoadLeavesNothingBehind(@TempDir Path scratch) throws Exception {
        // A class path whose platform resource is garbage: extracted, then refused by the JVM.
        Path resources = scratch.resolve("resources");
        Path resource = resources.resolve(JarResources.library(PLATFORM).substring(1));
        Files.createDirectories(resource.getParent());
        Files.write(resource, "garbage".getBytes("US-ASCII"));
        Path extractions = Files.createDirectory(scratch.resolve("extractions"));
        Path aFile = Files.write(scratch.resolve("a-file"), new byte[0]);
        // A class path whose platform table, found first, does not say where the arch column is.
        Path otherTable = scratch.resolve("other-table");
        Path table = otherTable.resolve(JarResources.PLATFORM_TABLE.substring(1));
        Files.createDirectories(table.getParent());
        Files.write(table, "platform os library\nlinux-x86_64 linux libzknative7.so\n".getBytes("US-ASCII"));
        Object[][] cases = {
            {resources + File.pathSeparator + CLASSES, extractions.toString(), "extracted to " + extractions},
            {JAR, aFile.toString(), "in " + aFile},
            {otherTable + File.pathSeparator + JAR, extractions.toString(),
                "tried this jar's platform table " + JarResources.PLATFORM_TABLE + ": the header names no column 'arch'"},
        };
        for (Object[] c : cases) {
            ChildProcessTest.Finished child = load((String) c[0], "-Dzknative7.tmpdir=" + c[1]);
            String label = c[0] + ": " + child.text() + child.err;
            assertEquals(3, child.status, label);
            assertTrue(child.text().startsWith("failed cannot load zknative7 for os.name="), label);
            assertTrue(child.text().contains((String) c[2]), label);
            assertEquals(new ArrayList<String>(), leftIn(extractions), label);
        }
    }

    @Test
    void aDeniedLoadNamesTheFlagAndLeavesNothingBehind(@TempDir Path extractions) throws Exception {
        assumeTrue(FEATURE >= 22, "native access is refused only from JDK 22 on");
        ChildProcessTest.Finished child = load(JAR, "--illegal-native-access=deny", "-Dzknative7.tmpdir=" + extractions);
        assertEquals(3, child.status, child.text() + child.err);
        assertEquals("failed native access is denied to the class path; run java with --enable-native-access=ALL-UNNAMED\n", child.text());
        assertEquals(new ArrayList<String>(), leftIn(extractions));
    }

    @Test
    void foldersLeftByEarlierProcessesAreRemovedUnlessInUse(@TempDir Path parent) throws Exception {
        FileTime old = FileTime.fromMillis(System.currentTimeMillis() - 2 * BundledLibrary.YOUNGEST_STALE_MILLIS);
        // name, has a lock file, its lock file is old, locked by a live process, removed
        Object[][] cases = {
            {"zknative7-stale", true, true, false, true},
            {"zknative7-young", true, false, false, false},
            {"zknative7-held", true, true, true, false},
            {"zknative7-unlocked", false, true, false, false},
            {"other-stale", true, true, false, false},
        };
        Process holder = null;
        try {
            for (Object[] c : cases) {
                Path folder = Files.createDirectory(parent.resolve((String) c[0]));
                Files.write(folder.resolve(System.mapLibraryName(NativeLibrary.NAME)), new byte[16]);
                if ((Boolean) c[1]) {
                    Path lock = Files.write(folder.resolve(BundledLibrary.LOCK_FILE), new byte[0]);
                    if ((Boolean) c[2]) {
                        Files.setLastModifiedTime(lock, old);
                    }
                    if ((Boolean) c[3]) {
                        List<String> hold = ChildProcessTest.javaCommand();
                        hold.addAll(Arrays.asList("-cp", CLASSES + File.pathSeparator + testClasses(),
                            NativeLoaderTest.class.getName(), "hold", lock.toString()));
                        holder = new ProcessBuilder(hold).redirectErrorStream(true).start();
                        assertEquals('h', holder.getInputStream().read(), "the holder could not lock");
                    }
                }
            }
            // A link to a stale folder is not followed.
            Files.createSymbolicLink(parent.resolve("zknative7-link"), parent.resolve("other-stale"));
            BundledLibrary.removeStaleFolders(parent);
            for (Object[] c : cases) {
                assertEquals(!(Boolean) c[4], Files.exists(parent.resolve((String) c[0])), (String) c[0]);
            }
            assertTrue(Files.exists(parent.resolve("other-stale").resolve(System.mapLibraryName(NativeLibrary.NAME))));
        } finally {
            if (holder != null) {
                holder.getOutputStream().close();
                holder.waitFor();
            }
        }
        // Once its holder has ended, the held folder is stale too.
        BundledLibrary.removeStaleFolders(parent);
        assertFalse(Files.exists(parent.resolve("zknative7-held")));
    }
}
