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
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

@Tag("command-line")
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
                command = ChildProcessTest.childJvm("quorvalen.zelka.EnvCommand", args);
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
            assertTrue(actual.startsWith("Usage: java -jar zknative7.jar [OPTION]... [NAME=VALUE]..."), actual);
            assertTrue(actual.contains("sorted by name"), actual);
            assertTrue(actual.contains("-u, --unset=NAME"), actual);
            assertTrue(actual.contains("125") && actual.contains("126") && actual.contains("127"), actual);
        };
    }

    static Consumer<String> versionLine() {
        String start = "zknative7 " + System.getProperty("zknative7.test.version") + ", native library from ";
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

            new Case("an unknown long option", "--bogus").fails(EnvCommand.FAILED, "'--bogus'"),
            new Case("an unknown short option", "-x", "true").fails(EnvCommand.FAILED, "'-x'"),
            new Case("'-' (env's -i)", "-", "true").fails(EnvCommand.FAILED, "'-'"),
            new Case("-u without a name", "-u").fails(EnvCommand.FAILED, "'-u'"),
            new Case("--unset without a name", "--unset").fails(EnvCommand.FAILED, "'--unset'"),
            new Case("--help with a value", "--help=x").fails(EnvCommand.FAILED, "'--help'"),
            new Case("-u with an empty name, and the command not run", "-u", "", "sh", "-c", "echo ran")
                .fails(EnvCommand.FAILED, "''"),
            new Case("--unset= with an empty name", "--unset=").fails(EnvCommand.FAILED, "''"),
            new Case("-u with '=' in the name", "-u", "ZK7T_A=B", "true").fails(EnvCommand.FAILED, "'ZK7T_A=B'"),
            new Case("a refused assignment, and the command not run", "=bad", "sh", "-c", "echo ran")
                .fails(EnvCommand.FAILED, "'=bad'"),
            new Case("a lone '='", "=").fails(EnvCommand.FAILED, "'='"),
            new Case("a Cyrillic argument in the C locale", "ZK7T_X=" + GREETING, "printenv", "ZK7T_X")
                .with("LC_ALL", "C").fails(EnvCommand.FAILED, "LC_ALL=C.UTF-8"),

            new Case("a file that is not executable", at("bin/zk7t-plain"), "x")
                .fails(EnvCommand.CANNOT_RUN, "permission denied"),
            new Case("a directory", at("dirs/zk7t-dir"), "x").fails(EnvCommand.CANNOT_RUN, "is a directory"),
            new Case("a file in PATH that is not executable", "PATH=" + at("bin"), "zk7t-plain")
                .fails(EnvCommand.CANNOT_RUN, "permission denied"),
            new Case("a directory in PATH", "PATH=" + at("dirs"), "zk7t-dir")
                .fails(EnvCommand.CANNOT_RUN, "is a directory"),
            new Case("a missing command", "ZK7T_X=1", "zk7t-no-such-command").fails(EnvCommand.NOT_FOUND, "not found"),
            new Case("a missing file", "/nonexistent/command", "x").fails(EnvCommand.NOT_FOUND, "no such file"),
            new Case("a PATH set in the run that lacks it", "PATH=" + at("empty"), "printenv", "PATH")
                .fails(EnvCommand.NOT_FOUND, "'printenv'"),
            new Case("'--' after assignments ends them", "ZK7T_X=1", "--", "ZK7T_Y=2")
                .fails(EnvCommand.NOT_FOUND, "'ZK7T_Y=2'"),

            new Case("no library: an assignment", "ZK7T_X=1", "printenv", "ZK7T_X").withoutLibrary()
                .fails(EnvCommand.FAILED, "native library"),
            new Case("no library: the listing").withoutLibrary().fails(EnvCommand.FAILED, "native library"),
            new Case("no library: a lookup", "ZK7T_KEPT").withoutLibrary().fails(EnvCommand.FAILED, "native library"),
            new Case("no library: --version", "--version").withoutLibrary().fails(EnvCommand.FAILED, "native library"),
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
}
