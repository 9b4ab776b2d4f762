// The loader in child JVMs: each place used only when meant, each failure in one line, nothing left behind.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTimeoutPreemptively;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.RandomAccessFile;
import java.nio.channels.FileLock;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.time.Duration;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.TreeSet;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;
import java.util.zip.ZipEntry;
import java.util.zip.ZipInputStream;
import java.util.zip.ZipOutputStream;
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
    /** What has a Linux JVM take the loader's Windows way. */
    static final String WINDOWS_NAME = "Windows 10";
    static final String WINDOWS = "-Dos.name=" + WINDOWS_NAME;

    /** Child JVM entry: loads the library and prints where from, or the error; or holds a lock. */
    public static void main(String[] args) throws Exception {
        if (args.length == 2 && args[0].equals("hold")) {
            try (RandomAccessFile file = new RandomAccessFile(args[1], "rw"); FileLock lock = file.getChannel().lock()) {
                System.out.println("held");
                System.in.read();  // until the test closes our input
            }
            return;
        }
        String withNul = System.getProperty("zknative7.test.tmpdirWithNul");
        if (withNul != null) {
            System.setProperty("zknative7.tmpdir", withNul + "\0");  // no command line can pass one
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

    /** The name of the folder of this process's user under {@code parent}, a folder the test made. */
    static String ownFolder(Path parent) throws IOException {
        return "zknative7-" + Files.getAttribute(parent, "unix:uid");
    }

    /** What is left under {@code parent} but this user's own folder, which stays, empty, for later JVMs. */
    static List<String> extractedIn(Path parent) throws IOException {
        List<String> left = leftIn(parent);
        left.remove(ownFolder(parent));
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
            {JAR, new String[] {"-Dzknative7.test.tmpdirWithNul=" + extractions}, 3, "failed cannot load zknative7 for os.name=",
                extractions + "\\0, is no path: Nul character not allowed"},
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
            assertEquals(new ArrayList<String>(), extractedIn(extractions), label);
        }
    }

    /** A folder of the class path holding these classes, and beside them a platform resource of garbage. */
    static Path classesWithGarbage(Path folder) throws IOException {
        try (ZipInputStream in = new ZipInputStream(Files.newInputStream(Paths.get(CLASSES)))) {
            for (ZipEntry entry; (entry = in.getNextEntry()) != null; ) {
                Path to = folder.resolve(entry.getName());
                Files.createDirectories(entry.isDirectory() ? to : to.getParent());
                if (!entry.isDirectory()) {
                    Files.copy(in, to);
                }
            }
        }
        return garbageLibrary(folder);
    }

    static Path garbageLibrary(Path folder) throws IOException {
        Path resource = folder.resolve(JarResources.library(PLATFORM).substring(1));
        Files.createDirectories(resource.getParent());
        return Files.write(resource, "garbage".getBytes("US-ASCII"));
    }

    /**
     * The jar, with this JVM's library where Windows' is kept: a JVM told it runs on Windows takes
     * the Windows way through the loader to the end, and loads a library that works here.
     */
    static Path windowsShaped(Path folder) throws IOException {
        String windows = JarResources.library(JarResources.PLATFORMS.platform(WINDOWS_NAME, System.getProperty("os.arch")))
            .substring(1);
        Path jar = folder.resolve("zknative7-windows-shaped.jar");
        try (ZipInputStream in = new ZipInputStream(Files.newInputStream(Paths.get(JAR)));
             ZipOutputStream out = new ZipOutputStream(Files.newOutputStream(jar))) {
            for (ZipEntry entry; (entry = in.getNextEntry()) != null; ) {
                out.putNextEntry(new ZipEntry(entry.getName()));
                if (entry.getName().equals(windows)) {
                    Files.copy(Paths.get(LIBRARY), out);
                } else {
                    copy(in, out);
                }
            }
        }
        return jar;
    }

    static void copy(InputStream from, OutputStream to) throws IOException {
        byte[] buffer = new byte[8192];
        for (int n; (n = from.read(buffer)) > 0; ) {
            to.write(buffer, 0, n);
        }
    }

    @Test
    void aFailedExtractionOrLoadLeavesNothingBehind(@TempDir Path scratch) throws Exception {
        // These classes in a folder whose platform resource is garbage: extracted, then refused by the JVM.
        Path resources = Files.createDirectory(scratch.resolve("resources"));
        classesWithGarbage(resources);
        Path extractions = Files.createDirectory(scratch.resolve("extractions"));
        Path aFile = Files.write(scratch.resolve("a-file"), new byte[0]);
        Object[][] cases = {
            {resources.toString(), extractions.toString(), "extracted to " + extractions},
            {JAR, aFile.toString(), "in " + aFile},
        };
        for (Object[] c : cases) {
            ChildProcessTest.Finished child = load((String) c[0], "-Dzknative7.tmpdir=" + c[1]);
            String label = c[0] + ": " + child.text() + child.err;
            assertEquals(3, child.status, label);
            assertTrue(child.text().startsWith("failed cannot load zknative7 for os.name="), label);
            assertTrue(child.text().contains((String) c[2]), label);
            assertEquals(new ArrayList<String>(), extractedIn(extractions), label);
        }
    }

    /** Resources of the same names earlier on the class path are never this jar's: not its library, nor its table. */
    @Test
    void theJarsCopyComesFromTheJarThatHoldsTheseClasses(@TempDir Path scratch) throws Exception {
        Path garbage = Files.createDirectory(scratch.resolve("garbage"));
        garbageLibrary(garbage);
        // A platform table, found first, that does not say where the arch column is.
        Path otherTable = scratch.resolve("other-table");
        Path table = otherTable.resolve(JarResources.PLATFORM_TABLE.substring(1));
        Files.createDirectories(table.getParent());
        Files.write(table, "platform os library\nlinux-x86_64 linux libzknative7.so\n".getBytes("US-ASCII"));
        Path extractions = Files.createDirectory(scratch.resolve("extractions"));
        for (Path first : new Path[] {garbage, otherTable}) {
            ChildProcessTest.Finished child = load(first + File.pathSeparator + JAR, "-Dzknative7.tmpdir=" + extractions);
            assertEquals(0, child.status, first + ": " + child.text() + child.err);
            assertTrue(child.text().startsWith("loaded this jar's " + PLATFORM + " copy: " + extractions), child.text());
        }
    }

    /** A jar packed in a jar, read by a class loader of its own (as Spring Boot's is): its copy, through that loader's URLs. */
    @Test
    void aJarNestedInAJarLoadsItsOwnCopy(@TempDir Path scratch) throws Exception {
        Path outer = scratch.resolve("app.jar");
        try (ZipOutputStream out = new ZipOutputStream(Files.newOutputStream(outer))) {
            out.putNextEntry(new ZipEntry("BOOT-INF/lib/zknative7.jar"));
            Files.copy(Paths.get(JAR), out);
        }
        List<String> command = ChildProcessTest.javaCommand();
        if (FEATURE >= 22) {
            command.add("--enable-native-access=ALL-UNNAMED");
        }
        command.addAll(Arrays.asList("-Dzknative7.tmpdir=" + scratch, "-cp", testClasses(), NestedJars.class.getName(),
            outer.toString(), "BOOT-INF/lib/zknative7.jar"));
        ChildProcessTest.Finished child = ChildProcessTest.run(command);
        assertEquals(0, child.status, child.text() + child.err);
        assertTrue(child.text().startsWith("loaded this jar's " + PLATFORM + " copy: " + scratch), child.text());
    }

    @Test
    void aDeniedLoadNamesTheFlagAndLeavesNothingBehind(@TempDir Path extractions) throws Exception {
        assumeTrue(FEATURE >= 22, "native access is refused only from JDK 22 on");
        ChildProcessTest.Finished child = load(JAR, "--illegal-native-access=deny", "-Dzknative7.tmpdir=" + extractions);
        assertEquals(3, child.status, child.text() + child.err);
        assertEquals("failed native access is denied to the class path; run java with --enable-native-access=ALL-UNNAMED\n", child.text());
        assertEquals(new ArrayList<String>(), extractedIn(extractions));
    }

    /** Removes what is at {@code path}, all in it, when user {@code uid} owns it. */
    static void rmIfOwnedBy(int uid, Path path) throws Exception {
        if (Files.exists(path, LinkOption.NOFOLLOW_LINKS) && Files.getAttribute(path, "unix:uid", LinkOption.NOFOLLOW_LINKS)
            .equals(uid)) {
            assertEquals(0, new ProcessBuilder("rm", "-rf", path.toString()).inheritIO().start().waitFor(), "rm " + path);
        }
    }

    static void chmod(String mode, Path path) throws Exception {
        assertEquals(0, new ProcessBuilder("chmod", mode, path.toString()).inheritIO().start().waitFor(), "chmod " + mode);
    }

    /** Parents another user could change are refused; a name taken before this user is never used; on either host's way. */
    @Test
    void unsafeParentsAreRefusedAndTakenNamesNeverUsed(@TempDir Path scratch) throws Exception {
        Path elsewhere = Files.createDirectory(scratch.resolve("elsewhere"));
        Files.write(elsewhere.resolve("kept"), new byte[16]);
        String own = ownFolder(scratch);
        String windowsShaped = windowsShaped(scratch).toString();
        // the parent's mode, its parent's, what stands at this user's folder's name, what the first line starts with
        String[][] cases = {
            {"777", "755", null, "failed cannot load zknative7 for os.name="},
            {"700", "777", null, "failed cannot load zknative7 for os.name="},
            {"1777", "755", null, "loaded this jar's"},
            {"700", "755", "file", "loaded this jar's"},
            {"700", "755", "link", "loaded this jar's"},
            {"700", "755", "775", "loaded this jar's"},  // this user's, but opened to others
        };
        for (int i = 0; i < cases.length * 2; i++) {
            String[] c = cases[i / 2];
            boolean windows = i % 2 == 1;
            Path above = Files.createDirectory(scratch.resolve("case" + i));
            Path parent = Files.createDirectory(above.resolve("parent"));
            chmod(c[0], parent);
            chmod(c[1], above);
            Path taken = parent.resolve(own);
            if ("file".equals(c[2])) {
                Files.write(taken, new byte[16]);
            } else if ("link".equals(c[2])) {
                Files.createSymbolicLink(taken, elsewhere);
            } else if (c[2] != null) {
                chmod(c[2], Files.createDirectory(taken));
            }
            List<String> planted = leftIn(parent);
            ChildProcessTest.Finished child = windows ? load(windowsShaped, WINDOWS, "-Dzknative7.tmpdir=" + parent)
                : load(JAR, "-Dzknative7.tmpdir=" + parent);
            String label = Arrays.toString(c) + (windows ? " on Windows' way: " : ": ") + child.text() + child.err;
            assertTrue(child.text().startsWith(c[3]), label);
            if (child.status != 0) {
                Path unsafe = c[0].equals("777") ? parent : above;
                assertTrue(child.text().contains("in " + parent + ": refused: " + unsafe + " lets other users (mode 777)"
                    + " rename or delete what it holds, so they could replace the library before it is loaded (choose a"
                    + " folder only you can change with -Dzknative7.tmpdir=DIR)"), label);
            } else if (c[2] != null) {
                assertFalse(child.text().contains(taken + File.separator), label);
            }
            // Nothing written beside, or into, what stood there; nothing left of a folder of this JVM's own.
            assertEquals(c[2] != null || child.status != 0 ? planted : Arrays.asList(own), leftIn(parent), label);
            assertEquals(Arrays.asList("kept"), leftIn(elsewhere), label);
        }
    }

    /** The cleanup in this user's folder, on Linux relative to it and, as on Windows, by path. */
    @Test
    void foldersLeftByEarlierProcessesAreRemovedUnlessInUse(@TempDir Path scratch) throws Exception {
        // By touch -h, which never opens what it ages (JDK 25's setLastModifiedTime opens it, and waits at a pipe).
        String old = "@" + TimeUnit.MILLISECONDS.toSeconds(System.currentTimeMillis() - 2 * StaleExtractions.YOUNGEST_STALE_MILLIS);
        Path outside = Files.createDirectory(scratch.resolve("outside"));
        Path kept = Files.write(outside.resolve("kept"), new byte[16]);
        // name, what its lock file is, whether that is old, whether a live process holds it, whether the folder is removed
        Object[][] cases = {
            {"zknative7-stale", "file", true, false, true},
            {"zknative7-young", "file", false, false, false},
            {"zknative7-held", "file", true, true, false},
            {"zknative7-unlocked", null, true, false, false},
            {"other-stale", "file", true, false, false},
            {"zknative7-pipe", "pipe", true, false, false},  // opened, it would wait for a writer
            {"zknative7-linked", "link", true, false, false},
        };
        for (boolean relative : new boolean[] {true, false}) {
            Path parent = Files.createDirectory(scratch.resolve("relative-" + relative));
            Process holder = null;
            try (ExtractionPlace own = ExtractionPlace.open(parent)) {
                Path home = own.folder().path();
                for (Object[] c : cases) {
                    Path folder = Files.createDirectory(home.resolve((String) c[0]));
                    chmod("700", folder);
                    Files.write(folder.resolve(System.mapLibraryName(NativeLibrary.NAME)), new byte[16]);
                    Files.createSymbolicLink(folder.resolve("link"), kept);  // removed itself, never what it names
                    Path lock = folder.resolve(Extraction.LOCK_FILE);
                    if ("file".equals(c[1])) {
                        chmod("600", Files.write(lock, new byte[0]));
                    } else if ("pipe".equals(c[1])) {
                        assertEquals(0, new ProcessBuilder("mkfifo", "-m", "600", lock.toString()).start().waitFor());
                    } else if ("link".equals(c[1])) {
                        Files.createSymbolicLink(lock, kept);
                    }
                    if ((Boolean) c[2] && c[1] != null) {
                        assertEquals(0, new ProcessBuilder("touch", "-h", "-d", old, lock.toString()).start().waitFor());
                    }
                    if ((Boolean) c[3]) {
                        List<String> hold = ChildProcessTest.javaCommand();
                        hold.addAll(Arrays.asList("-cp", CLASSES + File.pathSeparator + testClasses(),
                            NativeLoaderTest.class.getName(), "hold", lock.toString()));
                        holder = new ProcessBuilder(hold).redirectErrorStream(true).start();
                        assertEquals('h', holder.getInputStream().read(), "the holder could not lock");
                    }
                }
                // Links to folders outside are never entered.
                Files.createSymbolicLink(home.resolve("zknative7-outside"), outside);
                Folder folder = relative ? own.folder() : new WindowsFolder(home, PosixAccessRules.INSTANCE);
                assertTimeoutPreemptively(Duration.ofSeconds(60), () -> StaleExtractions.remove(folder),
                    "the cleanup waited on a file it opened");
                for (Object[] c : cases) {
                    assertEquals(!(Boolean) c[4], Files.exists(home.resolve((String) c[0])), c[0] + ", relative " + relative);
                }
                assertEquals(Arrays.asList("kept"), leftIn(outside));
                assertEquals(16, Files.size(kept));
            } finally {
                if (holder != null) {
                    holder.getOutputStream().close();
                    holder.waitFor();
                }
            }
            // Once its holder has ended, the held folder is stale too.
            try (ExtractionPlace own = ExtractionPlace.open(parent)) {
                StaleExtractions.remove(own.folder());
                assertFalse(Files.exists(own.folder().path().resolve("zknative7-held")));
            }
        }
    }
}
