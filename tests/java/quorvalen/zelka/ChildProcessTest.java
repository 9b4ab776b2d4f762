// Variables inherited from a parent process and passed to children, and the child JVMs the other tests start.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;

/** What crosses a process boundary: variables inherited from a parent, and passed to a child. */
class ChildProcessTest {
    static final String JAVA = System.getProperty("java.home") + File.separator + "bin" + File.separator + "java";
    // Under qemu-user a foreign JVM cannot be exec'd by itself: this command (e.g. "qemu-aarch64-static -L /")
    // starts every child JVM, and is empty on the host.
    static final String LAUNCHER = System.getProperty("zknative7.test.launcher", "").trim();
    // What a child JVM needs to start children, and keep temporary files, the same way as its parent.
    static final String[] FORWARDED = {"zknative7.test.launcher", "jdk.lang.Process.launchMechanism", "java.io.tmpdir"};

    static final class Finished {
        final int status;
        final byte[] out;
        final String err;

        Finished(int status, byte[] out, String err) {
            this.status = status;
            this.out = out;
            this.err = err;
        }

        String text() {
            return new String(out, StandardCharsets.UTF_8);
        }
    }

    static Finished run(List<String> command) throws IOException, InterruptedException {
        return run(new ProcessBuilder(command));
    }

    static Finished run(ProcessBuilder builder) throws IOException, InterruptedException {
        Process process = builder.redirectErrorStream(false).start();
        process.getOutputStream().close();
        ByteArrayOutputStream err = new ByteArrayOutputStream();
        Thread errReader = new Thread(() -> copy(process.getErrorStream(), err));
        errReader.start();
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        copy(process.getInputStream(), out);
        int status = process.waitFor();
        errReader.join();
        return new Finished(status, out.toByteArray(), new String(err.toByteArray(), StandardCharsets.UTF_8));
    }

    static void copy(InputStream from, ByteArrayOutputStream to) {
        byte[] buffer = new byte[8192];
        try {
            for (int n; (n = from.read(buffer)) > 0; ) {
                to.write(buffer, 0, n);
            }
        } catch (IOException e) {
            throw new IllegalStateException(e);
        }
    }

    /** A child JVM on this test's class and library path, running `mainClass args`. */
    static List<String> childJvm(String mainClass, String... args) {
        return childJvmWith(new String[] {"-Xcheck:jni"}, mainClass, args);
    }

    /** The start of a command running this JVM's java, through the same emulator and spawn mechanism. */
    static List<String> javaCommand() {
        List<String> command = new ArrayList<>();
        if (!LAUNCHER.isEmpty()) {
            command.addAll(Arrays.asList(LAUNCHER.split("\\s+")));
        }
        command.add(JAVA);
        for (String property : FORWARDED) {
            if (System.getProperty(property) != null) {
                command.add("-D" + property + "=" + System.getProperty(property));
            }
        }
        return command;
    }

    static List<String> childJvmWith(String[] jvmOptions, String mainClass, String... args) {
        List<String> command = javaCommand();
        command.addAll(Arrays.asList(jvmOptions));
        // A child is held to this JVM's native-access rules, so a warning or denial shows there too.
        for (String option : ManagementFactory.getRuntimeMXBean().getInputArguments()) {
            if (option.startsWith("--enable-native-access=") || option.startsWith("--illegal-native-access=")) {
                command.add(option);
            }
        }
        command.addAll(Arrays.asList("-Djava.library.path=" + System.getProperty("java.library.path"),
            "-Dzknative7.test.bundled=" + Boolean.getBoolean("zknative7.test.bundled"),
            "-Dzknative7.useLibraryPath=" + Boolean.getBoolean("zknative7.useLibraryPath"),
            "-cp", System.getProperty("java.class.path"), mainClass));
        command.addAll(Arrays.asList(args));
        return command;
    }

    static void assertNoJniWarning(Finished child) {
        assertFalse(child.err.contains("WARNING in native method"), child.err);
        assertFalse(child.err.contains("WARNING: A restricted method"), child.err);
    }

    @Test
    @Tag("architecture")
    void inheritedVariablesReadAsTheParentStoredThem() throws Exception {
        // The shell stores bytes no Java string could: an empty value and Latin-1 bytes.
        List<String> command = new ArrayList<>(Arrays.asList("/bin/sh", "-c",
            "exec env ZK7J_EMPTY= \"ZK7J_LATIN1=$(printf 'caf\\351 \\351t\\351')\" "
                + "\"ZK7J_UTF8=$(printf '\\320\\237\\321\\200\\320\\270')\" \"$@\"", "sh"));
        command.addAll(childJvm("quorvalen.zelka.EnvProbe", "ZK7J_EMPTY", "ZK7J_LATIN1", "ZK7J_UTF8", "ZK7J_NONE"));
        Finished child = run(command);
        assertEquals(0, child.status, child.err);
        assertEquals("ZK7J_EMPTY=\nZK7J_LATIN1=caf\\ufffd \\ufffdt\\ufffd\nZK7J_UTF8=\\u041f\\u0440\\u0438\n"
            + "ZK7J_NONE unset\n", child.text());
        assertNoJniWarning(child);
    }

    @Test
    @Tag("architecture")
    void childrenInheritWhatWasSet() throws Exception {
        String value = "\u041f\u0440\u0438\u0432\u0435\u0442 \u4e16\u754c \uD83D\uDE00 \uD800";
        assertTrue(NativeTools.setenv("ZK7J_CHILD", value));

        Finished printenv = run(Arrays.asList("printenv", "ZK7J_CHILD"));
        assertEquals(0, printenv.status);
        byte[] expected = ("\u041f\u0440\u0438\u0432\u0435\u0442 \u4e16\u754c \uD83D\uDE00 ").getBytes(StandardCharsets.UTF_8);
        byte[] withSurrogate = Arrays.copyOf(expected, expected.length + 4);
        System.arraycopy(new byte[] {(byte) 0xED, (byte) 0xA0, (byte) 0x80, '\n'}, 0, withSurrogate, expected.length, 4);
        assertArrayEquals(withSurrogate, printenv.out);

        Finished jvm = run(childJvm("quorvalen.zelka.EnvProbe", "ZK7J_CHILD"));
        assertEquals("ZK7J_CHILD=" + EnvProbe.escape(value) + "\n", jvm.text(), jvm.err);
        assertNoJniWarning(jvm);
        assertTrue(NativeTools.unsetenv("ZK7J_CHILD"));
    }

    @Test
    void theCommandLineSetsVariablesForItsCommand() throws Exception {
        Finished demo = run(childJvm("quorvalen.zelka.EnvCommand",
            "ZK7J_\u0414\u0415\u041c\u041e=\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440", "--",
            "printenv", "ZK7J_\u0414\u0415\u041c\u041e"));
        assertEquals(0, demo.status, demo.err);
        assertEquals("\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440\n", demo.text());
        assertNoJniWarning(demo);

        // Without a command the whole environment is listed, so those rows look for their lines.
        Object[][] exits = {
            {new String[] {"ZK7J_NOT_SET_ANYWHERE"}, EnvCommand.UNSET, Pattern.compile("")},
            {new String[] {"ZK7J_X=1", "ZK7J_Y=", "--", "sh", "-c", "exit 7"}, 7, Pattern.compile("")},
            {new String[] {"ZK7J_X=1", "ZK7J_Y=2"}, 0, Pattern.compile("(?s)(.*\n)?ZK7J_X=1\nZK7J_Y=2\n.*")},
            {new String[] {"=bad"}, EnvFailure.FAILED, Pattern.compile("")},
            {new String[] {}, 0, Pattern.compile("(?s)(.*\n)?PATH=[^\n]*\n.*")},
            {new String[] {"ZK7J_X=1", "--", "/nonexistent/command"}, EnvFailure.NOT_FOUND, Pattern.compile("")},
        };
        for (Object[] exit : exits) {
            Finished finished = run(childJvm("quorvalen.zelka.EnvCommand", (String[]) exit[0]));
            String what = Arrays.toString((String[]) exit[0]);
            assertEquals(exit[1], finished.status, what + ": " + finished.err);
            assertTrue(((Pattern) exit[2]).matcher(finished.text()).matches(), what + ": " + finished.text());
        }
    }
}
