// Runs the command line in child JVMs with a known environment and checks it behaves as env(1) does.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.function.Consumer;
import java.util.regex.Pattern;
import java.util.stream.Stream;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

class EnvCommandTest {
    static final String GREETING = "\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440";
    static final String CYRILLIC_NAME = "ZK7T_\u0418\u041c\u042f";
    static final String CYRILLIC_VALUE = "\u0437\u043d\u0430\u0447\u0435\u043d\u0438\u0435";

    /** The whole environment of every child JVM: nothing else is inherited. */
    static final String[][] PARENT = {
        {"LC_ALL", "C.UTF-8"},
        {"PATH", "/usr/bin:/bin"},
        {"ZK7T_A", "plain"},
        {"ZK7T_A-B", "dash"},  // sorts after ZK7T_A by name, though "ZK7T_A-B=" < "ZK7T_A=" as lines
        {"ZK7T_EMPTY", ""},
        {"ZK7T_KEPT", "kept"},
        {"ZK7T_OTHER", "other"},
        {"ZK7T_PARENT", GREETING},
        {CYRILLIC_NAME, CYRILLIC_VALUE},
    };

    /** PARENT as the command line lists it, one line per variable, sorted by name. */
    static final String LISTED = "LC_ALL=C.UTF-8\nPATH=/usr/bin:/bin\nZK7T_A=plain\nZK7T_A-B=dash\nZK7T_EMPTY=\n"
        + "ZK7T_KEPT=kept\nZK7T_OTHER=other\nZK7T_PARENT=" + GREETING + "\n" + CYRILLIC_NAME + "=" + CYRILLIC_VALUE + "\n";

    @TempDir
    static Path scratch;

    @BeforeAll
    static void makeCommands() throws IOException {
        Files.createDirectories(scratch.resolve("bin"));
        Files.createDirectories(scratch.resolve("empty"));
        Files.createDirectories(scratch.resolve("dirs/zk7t-dir"));
        String script = "#!/bin/sh\necho \"script $*\"\n";
        Files.write(scratch.resolve("bin/zk7t-script"), script.getBytes(StandardCharsets.US_ASCII));
        Files.setPosixFilePermissions(scratch.resolve("bin/zk7t-script"), PosixFilePermissions.fromString("rwxr-xr-x"));
        Files.write(scratch.resolve("bin/zk7t-plain"), script.getBytes(StandardCharsets.US_ASCII));
        Files.setPosixFilePermissions(scratch.resolve("bin/zk7t-plain"), PosixFilePermissions.fromString("rw-r--r--"));
        // A command as Windows finds it, by PATHEXT's extension, beside one of the bare name.
        Files.createDirectories(scratch.resolve("win"));
        for (String[] command : new String[][] {{"zk7t-win.CMD", "win"}, {"zk7t-win", "bare"}, {"zk7t-v1.2.CMD", "dotted"}}) {
            Path file = Files.write(scratch.resolve("win").resolve(command[0]),
                ("#!/bin/sh\necho \"" + command[1] + " $*\"\n").getBytes(StandardCharsets.US_ASCII));
            Files.setPosixFilePermissions(file, PosixFilePermissions.fromString("rwxr-xr-x"));
        }
        // The same command in a folder no ASCII charset can name, and in the one that charset would
        // name instead.
        for (String folder : new String[] {"caf\u00e9", "caf?"}) {
            Path file = scratch.resolve(folder).resolve("zk7t-where");
            Files.createDirectories(file.getParent());
            Files.write(file, ("#!/bin/sh\necho \"ran " + folder + "\"\n").getBytes(StandardCharsets.UTF_8));
            Files.setPosixFilePermissions(file, PosixFilePermissions.fromString("rwxr-xr-x"));
        }
    }

    static String at(String relative) {
        return scratch.resolve(relative).toString();
    }

    /** One run of the command line: what the child gets, and what must come back. */
    static final class Case {
        final String what;
        final String[] args;
        final Map<String, String> environment = new LinkedHashMap<>();
        boolean withoutLibrary;
        boolean onWindows;
        String directory;
        int status;
        Consumer<String> out = exactly("");
        Consumer<String> err = exactly("");

        Case(String what, String... args) {
            this.what = what;
            this.args = args;
            for (String[] variable : PARENT) {
                environment.put(variable[0], variable[1]);
            }
        }

        Case with(String name, String value) {
            environment.put(name, value);
            return this;
        }

        Case in(String relative) {
            directory = at(relative);
            return this;
        }

        /** The command line's Windows way, in a JVM told it runs on Windows. */
        Case onWindows() {
            onWindows = true;
            return this;
        }

        /** A class path with only the compiled classes and an empty library path: nothing can load. */
        Case withoutLibrary() {
            withoutLibrary = true;
            return this;
        }

        Case gives(int exitStatus, Consumer<String> stdout) {
            status = exitStatus;
            out = stdout;
            return this;
        }

        Case fails(int exitStatus, String inMessage) {
            status = exitStatus;
            err = oneLineSaying(inMessage);
            return this;
        }

        ChildProcessTest.Finished start() throws IOException, InterruptedException {
            List<String> command;
            if (withoutLibrary) {
                command = ChildProcessTest.javaCommand();
                command.addAll(Arrays.asList("-Xcheck:jni", "-Djava.library.path=" + at("empty"),
                    "-cp", System.getProperty("zknative7.test.classes"), "quorvalen.zelka.EnvCommand"));
                command.addAll(Arrays.asList(args));
            } else {
                List<String> main = new ArrayList<>(Arrays.asList(args));
                main.add(0, "quorvalen.zelka.EnvCommand");
                command = onWindows ? ChildProcessTest.childJvm(AsOnWindows.class.getName(), main.toArray(new String[0]))
                    : ChildProcessTest.childJvm("quorvalen.zelka.EnvCommand", args);
            }
            ProcessBuilder builder = new ProcessBuilder(command);
            builder.environment().clear();
            builder.environment().putAll(environment);
            if (directory != null) {
                builder.directory(new File(directory));
            }
            return ChildProcessTest.run(builder);
        }

        @Override
        public String toString() {
            return what + " " + Arrays.toString(args);
        }
    }

    static Consumer<String> exactly(String expected) {
        return actual -> assertEquals(expected, actual);
    }

    static Consumer<String> oneLineSaying(String fragment) {
        return actual -> {
            assertTrue(Pattern.matches("zknative7: [^\n]+\n", actual), "not one error line: " + actual);
            assertTrue(actual.contains(fragment), actual);
        };
    }

    static Consumer<String> usage() {
        return actual -> {
            assertTrue(actual.startsWith("Usage: java -jar zknative7.jar [OPTION]... [-] [NAME=VALUE]..."), actual);
            assertTrue(actual.contains("sorted by name"), actual);
            for (String option : new String[] {"-i, --ignore-environment", "-0, --null", "-u, --unset=NAME", "-C, --chdir=DIR"}) {
                assertTrue(actual.contains(option), actual);
            }
            assertTrue(actual.contains("125") && actual.contains("126") && actual.contains("127"), actual);
        };
    }

    static Consumer<String> versionLine() {
        String start = "zknative7 " + System.getProperty("zknative7.test.version") + " (commit "
            + System.getProperty("zknative7.test.commit") + "), native library from ";
        return actual -> {
            assertTrue(actual.startsWith(start) && actual.endsWith("\n") && actual.indexOf('\n') == actual.length() - 1,
                actual);
            String source = actual.substring(start.length(), actual.length() - 1);
            if (Boolean.getBoolean("zknative7.test.bundled")) {
                assertTrue(source.endsWith(File.separator + System.mapLibraryName("zknative7")), source);
            } else {
                NativeTools.getenv("PATH");  // loads it here too
                assertEquals(NativeLoader.source, source);  // this JVM loaded it by the same rule
            }
        };
    }

    static Stream<Case> cases() {
        String[] showThree = {"sh", "-c", "echo \"${ZK7T_PARENT-gone} ${ZK7T_OTHER-gone} ${ZK7T_KEPT-gone}\""};
        return Stream.of(
            new Case("lists the parent's variables").gives(0, exactly(LISTED)),
            new Case("'--' alone lists too", "--").gives(0, exactly(LISTED)),
            new Case("lists assignments of the run in order", "ZK7T_RUN=" + GREETING, "ZK7T_\u0414=\u0434")
                .gives(0, exactly(LISTED.replace("ZK7T_PARENT=" + GREETING + "\n",
                    "ZK7T_PARENT=" + GREETING + "\nZK7T_RUN=" + GREETING + "\n")
                    .replace(CYRILLIC_NAME + "=", "ZK7T_\u0414=\u0434\n" + CYRILLIC_NAME + "="))),
            new Case("lists a replaced value, not the start-up one", "ZK7T_OTHER=replaced")
                .gives(0, exactly(LISTED.replace("ZK7T_OTHER=other", "ZK7T_OTHER=replaced"))),
            new Case("NAME= removes NAME from the listing", "ZK7T_OTHER=")
                .gives(0, exactly(LISTED.replace("ZK7T_OTHER=other\n", ""))),
            new Case("-u removes from the listing", "-u", "ZK7T_PARENT", "-uZK7T_A-B", "--unset=" + CYRILLIC_NAME)
                .gives(0, exactly("LC_ALL=C.UTF-8\nPATH=/usr/bin:/bin\nZK7T_A=plain\nZK7T_EMPTY=\nZK7T_KEPT=kept\n"
                    + "ZK7T_OTHER=other\n")),
            new Case("-u of a variable never set", "-u", "ZK7T_NEVER_SET").gives(0, exactly(LISTED)),

            new Case("prints one variable", "ZK7T_PARENT").gives(0, exactly(GREETING + "\n")),
            new Case("prints an inherited empty value", "ZK7T_EMPTY").gives(0, exactly("\n")),
            new Case("an unset lookup", "ZK7T_NEVER_SET").gives(EnvCommand.UNSET, exactly("")),
            new Case("a lone operand is a lookup, not a command", "true").gives(EnvCommand.UNSET, exactly("")),

            new Case("--help", "--help").gives(0, usage()),
            new Case("-h", "-h").gives(0, usage()),
            new Case("--help after -u", "-u", "ZK7T_PARENT", "--he").gives(0, usage()),
            new Case("--version", "--version").gives(0, versionLine()),
            new Case("--version abbreviated", "--vers").gives(0, versionLine()),

            new Case("-u, repeated, for the command", "-u", "ZK7T_PARENT", "-uZK7T_OTHER", showThree[0], showThree[1],
                showThree[2]).gives(0, exactly("gone gone kept\n")),
            new Case("--unset NAME and --unset=NAME", "--unset", "ZK7T_PARENT", "--unset=ZK7T_KEPT", showThree[0],
                showThree[1], showThree[2]).gives(0, exactly("gone other gone\n")),
            new Case("-u before an assignment of the same name", "-u", "ZK7T_PARENT", "ZK7T_PARENT=back",
                "printenv", "ZK7T_PARENT").gives(0, exactly("back\n")),
            new Case("NAME= removes NAME for the command", "ZK7T_PARENT=", "printenv", "ZK7T_PARENT")
                .gives(1, exactly("")),
            new Case("NAME=VALUE COMMAND without --", "ZK7T_RUN=" + GREETING, "printenv", "ZK7T_RUN")
                .gives(0, exactly(GREETING + "\n")),
            new Case("NAME=VALUE -- COMMAND", CYRILLIC_NAME + "=" + GREETING, "--", "printenv", CYRILLIC_NAME)
                .gives(0, exactly(GREETING + "\n")),
            new Case("-- then one command", "--", "printenv", "ZK7T_KEPT").gives(0, exactly("kept\n")),
            new Case("-- then a lone command runs it", "--", "true").gives(0, exactly("")),
            new Case("the child's status comes back", "ZK7T_X=1", "sh", "-c", "exit 42").gives(42, exactly("")),
            new Case("PATH set in the run is searched", "PATH=" + at("bin"), "zk7t-script", "a", "b")
                .gives(0, exactly("script a b\n")),
            new Case("an empty PATH entry is the working directory", "PATH=/nonexistent:", "zk7t-script", "x")
                .in("bin").gives(0, exactly("script x\n")),
            new Case("without PATH, /bin and /usr/bin", "-u", "PATH", "printenv", "ZK7T_KEPT")
                .gives(0, exactly("kept\n")),
            new Case("an argument holding U+FFFD in a UTF-8 locale", "ZK7T_X=\uFFFD", "printenv", "ZK7T_X")
                .gives(0, exactly("\uFFFD\n")),
            new Case("ASCII arguments in the C locale", "ZK7T_X=plain", "printenv", "ZK7T_X").with("LC_ALL", "C")
                .gives(0, exactly("plain\n")),
            new Case("a PATH entry a UTF-8 locale names exactly", "--", "zk7t-where").with("PATH", at("caf\u00e9"))
                .gives(0, exactly("ran caf\u00e9\n")),
            new Case("a command found before a PATH entry the C locale cannot name", "printenv", "ZK7T_KEPT")
                .with("LC_ALL", "C").with("PATH", "/usr/bin:" + at("caf\u00e9")).gives(0, exactly("kept\n")),

            new Case("Windows: PATH's folders, ';' apart, each name with PATHEXT's extensions", "zk7t-win", "a").onWindows()
                .with("PATH", at("empty") + ";\"" + at("win") + "\"").with("PATHEXT", ".EXE;.CMD").gives(0, exactly("win a\n")),
            new Case("Windows: without PATHEXT, cmd.exe's extensions", "--", "zk7t-win").onWindows().with("PATH", at("win"))
                .gives(0, exactly("win \n")),
            new Case("Windows: a name with an extension as it is", "--", "zk7t-win.CMD").onWindows().with("PATH", at("win"))
                .with("PATHEXT", ".EXE").gives(0, exactly("win \n")),
            new Case("Windows: a name with a dot but no file of its own, with PATHEXT's", "--", "zk7t-v1.2").onWindows()
                .with("PATH", at("empty") + ";" + at("win")).gives(0, exactly("dotted \n")),
            new Case("Windows: a relative PATH entry from -C's folder", "-C", at(""), "PATH=win", "zk7t-win", "b").onWindows()
                .gives(0, exactly("win b\n")),
            new Case("Windows: never the working folder that PATH does not name", "--", "zk7t-win").onWindows()
                .with("PATH", at("empty")).in("win").fails(EnvFailure.NOT_FOUND, "not found in PATH"),

            new Case("an unknown long option", "--bogus").fails(EnvFailure.FAILED, "'--bogus'"),
            new Case("an unknown short option", "-x", "true").fails(EnvFailure.FAILED, "'x'"),
            new Case("'-' empties the environment, as -i does", "-", "ZK7T_X=1").gives(0, exactly("ZK7T_X=1\n")),
            new Case("-u without a name", "-u").fails(EnvFailure.FAILED, "'u'"),
            new Case("--unset without a name", "--unset").fails(EnvFailure.FAILED, "'--unset'"),
            new Case("--help with a value", "--help=x").fails(EnvFailure.FAILED, "'--help'"),
            new Case("-u with an empty name, and the command not run", "-u", "", "sh", "-c", "echo ran")
                .fails(EnvFailure.FAILED, "''"),
            new Case("--unset= with an empty name", "--unset=").fails(EnvFailure.FAILED, "''"),
            new Case("-u with '=' in the name", "-u", "ZK7T_A=B", "true").fails(EnvFailure.FAILED, "'ZK7T_A=B'"),
            new Case("a refused assignment, and the command not run", "=bad", "sh", "-c", "echo ran")
                .fails(EnvFailure.FAILED, "'=bad'"),
            new Case("a lone '='", "=").fails(EnvFailure.FAILED, "'='"),
            new Case("a Cyrillic argument in the C locale", "ZK7T_X=" + GREETING, "printenv", "ZK7T_X")
                .with("LC_ALL", "C").fails(EnvFailure.FAILED, "LC_ALL=C.UTF-8"),

            new Case("a file that is not executable", at("bin/zk7t-plain"), "x")
                .fails(EnvFailure.CANNOT_RUN, "permission denied"),
            new Case("a directory", at("dirs/zk7t-dir"), "x").fails(EnvFailure.CANNOT_RUN, "is a directory"),
            new Case("a file in PATH that is not executable", "PATH=" + at("bin"), "zk7t-plain")
                .fails(EnvFailure.CANNOT_RUN, "permission denied"),
            new Case("a directory in PATH", "PATH=" + at("dirs"), "zk7t-dir")
                .fails(EnvFailure.CANNOT_RUN, "is a directory"),
            new Case("a missing command", "ZK7T_X=1", "zk7t-no-such-command").fails(EnvFailure.NOT_FOUND, "not found"),
            new Case("a PATH entry the C locale cannot name, never the one it would name instead", "--", "zk7t-where")
                .with("LC_ALL", "C").with("PATH", at("caf\u00e9") + ":" + at("caf?"))
                .fails(EnvFailure.NOT_FOUND, "PATH entry '" + at("caf\u00e9") + "' cannot be named exactly"),
            new Case("a missing file", "/nonexistent/command", "x").fails(EnvFailure.NOT_FOUND, "no such file"),
            new Case("a PATH set in the run that lacks it", "PATH=" + at("empty"), "printenv", "PATH")
                .fails(EnvFailure.NOT_FOUND, "'printenv'"),
            new Case("'--' after assignments ends them", "ZK7T_X=1", "--", "ZK7T_Y=2")
                .fails(EnvFailure.NOT_FOUND, "'ZK7T_Y=2'"),

            new Case("no library: an assignment", "ZK7T_X=1", "printenv", "ZK7T_X").withoutLibrary()
                .fails(EnvFailure.FAILED, "native library"),
            new Case("no library: the listing").withoutLibrary().fails(EnvFailure.FAILED, "native library"),
            new Case("no library: a lookup", "ZK7T_KEPT").withoutLibrary().fails(EnvFailure.FAILED, "native library"),
            new Case("no library: --version", "--version").withoutLibrary().fails(EnvFailure.FAILED, "native library"),
            new Case("no library: --help still works", "--help").withoutLibrary().gives(0, usage()));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("cases")
    void behavesAsEnvDoes(Case run) throws Exception {
        ChildProcessTest.Finished child = run.start();
        assertEquals(run.status, child.status, child.err);
        run.out.accept(child.text());
        run.err.accept(child.err);
    }

    /** A parent's entries without a name reach no child of -i, which starts from nothing but its assignments. */
    @Test
    void ignoringTheEnvironmentLeavesAChildNothingButItsAssignments() throws Exception {
        String[][] cases = {
            // the command line's arguments after -i, then what the child's env -0 prints
            {"/usr/bin/env -0", ""},
            {"ZK7T_X=1 /usr/bin/env -0", "ZK7T_X=1\0"},
        };
        for (String[] c : cases) {
            List<String> command = new ArrayList<>(Arrays.asList(System.getProperty("zknative7.test.execWithBlock"),
                "JUNK_WITHOUT_EQUALS", "=emptyname", "=emptyname", "ZK7T_GONE=gone", "LC_ALL=C.UTF-8", "--"));
            List<String> jvm = ChildProcessTest.childJvm("quorvalen.zelka.EnvCommand", "-i");
            jvm.addAll(Arrays.asList(c[0].split(" ")));
            command.addAll(jvm);
            ChildProcessTest.Finished child = ChildProcessTest.run(command);
            assertEquals(0, child.status, child.err);
            assertEquals(c[1], child.text(), c[0]);
        }
    }

    /**
     * What the command's child inherits, beside GNU env's on the same input: each name once, only what
     * -i, -u and the assignments leave, nothing of a name that is not UTF-8 after -i.
     */
    @Test
    void theChildGetsExactlyTheEnvironmentTheRunLeaves() throws Exception {
        String[][] cases = {
            {"-u", "ZK7T_X", "/usr/bin/env", "-0"},
            {"-u", "ZK7T_A", "-u", "ZK7T_B", "ZK7T_C=again", "/usr/bin/env", "-0"},
            {"-i", "/usr/bin/env", "-0"},
            {"-i", "ZK7T_Y=1", "/usr/bin/env", "-0"},
            {"/usr/bin/env", "-0"},
        };
        for (String[] c : cases) {
            List<String> inherited = new ArrayList<>(Arrays.asList("/bin/sh", "-c", "exec /usr/bin/env -i LC_ALL=C.UTF-8 "
                + "ZK7T_A=1 ZK7T_X=2 ZK7T_B=3 ZK7T_C=4 \"ZK7T_SECRET$(printf '\\377')=hunter2\" \"$@\"", "sh"));
            List<String> gnu = new ArrayList<>(inherited);
            gnu.add("/usr/bin/env");
            gnu.addAll(Arrays.asList(c));
            List<String> ours = new ArrayList<>(inherited);
            ours.addAll(ChildProcessTest.childJvm("quorvalen.zelka.EnvCommand", c));
            ChildProcessTest.Finished expected = ChildProcessTest.run(gnu);
            ChildProcessTest.Finished child = ChildProcessTest.run(ours);
            assertEquals(expected.status, child.status, Arrays.toString(c) + ": " + child.err);
            // The JVM's child may get variables of its own only when nothing cleared them.
            assertEquals(comparable(expected.out, true), comparable(child.out, true), Arrays.toString(c));
        }
    }

    @Test
    void printsTheBytesTheLibraryStores() throws Exception {
        // printf writes WTF-8 for "a", an unpaired U+D800, "b"; the listing and lookup give the same bytes back.
        List<String> command = new ArrayList<>(Arrays.asList("/bin/sh", "-c",
            "exec env -i LC_ALL=C.UTF-8 \"ZK7T_LONE=$(printf 'a\\355\\240\\200b')\" \"$@\"", "sh"));
        List<String> listing = new ArrayList<>(command);
        listing.addAll(ChildProcessTest.childJvm("quorvalen.zelka.EnvCommand"));
        ChildProcessTest.Finished listed = ChildProcessTest.run(listing);
        assertEquals(0, listed.status, listed.err);
        byte[] entry = {'Z', 'K', '7', 'T', '_', 'L', 'O', 'N', 'E', '=', 'a', (byte) 0xED, (byte) 0xA0, (byte) 0x80, 'b', '\n'};
        byte[] expected = Arrays.copyOf("LC_ALL=C.UTF-8\n".getBytes(StandardCharsets.US_ASCII), 15 + entry.length);
        System.arraycopy(entry, 0, expected, 15, entry.length);
        assertArrayEquals(expected, listed.out);

        List<String> lookup = new ArrayList<>(command);
        lookup.addAll(ChildProcessTest.childJvm("quorvalen.zelka.EnvCommand", "ZK7T_LONE"));
        ChildProcessTest.Finished looked = ChildProcessTest.run(lookup);
        assertEquals(0, looked.status, looked.err);
        assertArrayEquals(Arrays.copyOfRange(entry, 10, entry.length), looked.out);
    }
    /**
     * Argument lists whose outcome must be GNU env's own, both run in the same folder and the same
     * environment (PARENT): the exit status, and standard output byte for byte. A listing is
     * compared in name order (LIST), as this command sorts its listing and env keeps environ's.
     */
    static Stream<Arguments> sameAsGnuEnv() {
        boolean list = true;
        boolean run = false;
        String cyrillic = "\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440";
        return Stream.of(
            Arguments.of("no options: the whole environment", list, new String[] {}),
            Arguments.of("-0", list, new String[] {"-0"}),
            Arguments.of("--null", list, new String[] {"--null"}),
            Arguments.of("--nu, a prefix of --null", list, new String[] {"--nu"}),
            Arguments.of("-i", list, new String[] {"-i"}),
            Arguments.of("-i and assignments", list, new String[] {"-i", "ZK7T_X=1", "ZK7T_Y=" + cyrillic}),
            Arguments.of("a lone - is -i", list, new String[] {"-", "ZK7T_X=1"}),
            Arguments.of("-- then -", list, new String[] {"--", "-", "ZK7T_X=1"}),
            Arguments.of("--ignore-environment", list, new String[] {"--ignore-environment", "ZK7T_X=1"}),
            Arguments.of("--ignore-e, a prefix", list, new String[] {"--ignore-e"}),
            Arguments.of("-i0 bundled", list, new String[] {"-i0", "ZK7T_X=1", "ZK7T_Y=a\nb"}),
            Arguments.of("-0i bundled", list, new String[] {"-0i"}),
            Arguments.of("-i ignores -u, even a bad one", list, new String[] {"-i", "-u", "", "ZK7T_X=1"}),
            Arguments.of("-i after -u", list, new String[] {"-u", "ZK7T_A=B", "-i"}),
            Arguments.of("-u removes", list, new String[] {"-u", "ZK7T_A", "-uZK7T_KEPT"}),
            Arguments.of("--unset=NAME and --unset NAME", list, new String[] {"--unset=ZK7T_A", "--unset", "ZK7T_OTHER"}),
            Arguments.of("-0 with -u and an assignment", list, new String[] {"-0", "-u", "ZK7T_A", "ZK7T_NEW=x"}),
            Arguments.of("a replaced value", list, new String[] {"ZK7T_OTHER=replaced"}),
            Arguments.of("-u with an empty name", run, new String[] {"-u", ""}),
            Arguments.of("-C with an empty folder", run, new String[] {"-C", "", "true"}),
            Arguments.of("-u with '='", run, new String[] {"-u", "ZK7T_A=B", "true"}),
            Arguments.of("-u without a name", run, new String[] {"-u"}),
            Arguments.of("--unset without a name", run, new String[] {"--unset"}),
            Arguments.of("--ign, ambiguous", run, new String[] {"--ign"}),
            Arguments.of("an unknown short option", run, new String[] {"-x", "true"}),
            Arguments.of("an unknown long option", run, new String[] {"--bogus"}),
            Arguments.of("--null with a value", run, new String[] {"--null=x"}),
            Arguments.of("-0 with a command", run, new String[] {"-0", "true"}),
            Arguments.of("--null with a command", run, new String[] {"--null", "ZK7T_X=1", "printenv"}),
            Arguments.of("-C without a command", run, new String[] {"-C", "/"}),
            Arguments.of("-C without a folder", run, new String[] {"-C"}),
            Arguments.of("--chdir without a folder", run, new String[] {"--chdir"}),
            Arguments.of("-C a missing folder", run, new String[] {"-C", "/nonexistent", "true"}),
            Arguments.of("-C a file", run, new String[] {"-C", at("bin/zk7t-script"), "true"}),
            Arguments.of("-C DIR", run, new String[] {"-C", at("dirs"), "pwd"}),
            Arguments.of("-CDIR", run, new String[] {"-C" + at("dirs"), "pwd"}),
            Arguments.of("--chdir=DIR", run, new String[] {"--chdir=" + at("dirs"), "sh", "-c", "pwd"}),
            Arguments.of("--ch DIR, a prefix", run, new String[] {"--ch", at("dirs"), "pwd"}),
            Arguments.of("-C: a relative command from the new folder", run, new String[] {"-C", "bin", "./zk7t-script", "x"}),
            Arguments.of("-C: a relative PATH from the new folder", run, new String[] {"-C", "bin", "PATH=.", "zk7t-script", "y"}),
            Arguments.of("-iC", run, new String[] {"-iC", at("dirs"), "sh", "-c", "pwd"}),
            Arguments.of("-i: the command gets the assignments alone", run,
                new String[] {"-i", "ZK7T_X=" + cyrillic, "sh", "-c", "echo \"$ZK7T_X ${ZK7T_A-unset}\""}),
            Arguments.of("-i: PATH set in the run", run, new String[] {"-i", "PATH=" + at("bin"), "zk7t-script", "a"}),
            Arguments.of("-i: without PATH, /bin:/usr/bin", run, new String[] {"-i", "printenv"}),
            Arguments.of("-u for the command", run, new String[] {"-u", "ZK7T_PARENT", "printenv", "ZK7T_PARENT"}),
            Arguments.of("-- then a command", run, new String[] {"--", "printenv", "ZK7T_KEPT"}),
            Arguments.of("-- then an option as the command", run, new String[] {"--", "-i"}),
            Arguments.of("- then an option as the command", run, new String[] {"-", "-i"}),
            Arguments.of("an option after an assignment is the command", run, new String[] {"ZK7T_X=1", "-u", "ZK7T_X"}),
            Arguments.of("the command's status", run, new String[] {"sh", "-c", "exit 42"}),
            Arguments.of("a command not found", run, new String[] {"ZK7T_X=1", "zk7t-no-such-command"}),
            Arguments.of("a file that is not executable", run, new String[] {"-i", at("bin/zk7t-plain")}),
            Arguments.of("a directory", run, new String[] {"-i", at("dirs/zk7t-dir")}),
            Arguments.of("a file named with a trailing '/'", run, new String[] {"--", at("bin/zk7t-script") + "/"}),
            Arguments.of("Cyrillic for the command", run, new String[] {"-i", "ZK7T_\u0414=" + cyrillic, "printenv", "ZK7T_\u0414"}));
    }

    /** Output as bytes kept one char each; a listing's records sorted, as this command lists by name. */
    static String comparable(byte[] out, boolean listing) {
        String bytes = new String(out, StandardCharsets.ISO_8859_1);
        if (!listing || bytes.isEmpty()) {
            return bytes;
        }
        String terminator = bytes.endsWith("\0") ? "\0" : "\n";
        List<String> records = new ArrayList<>(Arrays.asList(bytes.split(terminator, -1)));
        records.remove(records.size() - 1);
        records.sort(null);
        return String.join(terminator, records) + terminator;
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("sameAsGnuEnv")
    void matchesGnuEnv(String what, boolean listing, String[] args) throws Exception {
        List<String> gnu = new ArrayList<>(Arrays.asList("/usr/bin/env"));
        gnu.addAll(Arrays.asList(args));
        ProcessBuilder builder = new ProcessBuilder(gnu).directory(scratch.toFile());
        builder.environment().clear();
        builder.environment().putAll(new Case(what).environment);
        ChildProcessTest.Finished expected = ChildProcessTest.run(builder);
        ChildProcessTest.Finished ours = new Case(what, args).in("").start();
        assertEquals(expected.status, ours.status, "GNU env said: " + expected.err + "; we said: " + ours.err);
        assertEquals(comparable(expected.out, listing), comparable(ours.out, listing));
        if (ours.status == EnvFailure.FAILED) {
            assertTrue(Pattern.matches("zknative7: [^\n]+\n", ours.err), ours.err);
        }
    }
}
