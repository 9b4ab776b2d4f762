package quorvalen.zelka;

import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.io.UnsupportedEncodingException;
import java.util.Arrays;

/**
 * The command line: {@code NAME} prints a variable; {@code NAME=VALUE... [-- COMMAND ARGS...]}
 * applies the assignments and runs COMMAND, which inherits them, as env(1) does.
 */
public final class EnvCommand {
    static final int UNSET = 1;
    static final int USAGE = 2;
    static final int NOT_RUN = 127;

    private EnvCommand() {
    }

    public static void main(String[] args) throws UnsupportedEncodingException, InterruptedException {
        PrintStream out = new PrintStream(new FileOutputStream(FileDescriptor.out), true, "UTF-8");
        PrintStream err = new PrintStream(new FileOutputStream(FileDescriptor.err), true, "UTF-8");
        System.exit(run(args, out, err));
    }

    static int run(String[] args, PrintStream out, PrintStream err) throws InterruptedException {
        int separator = Arrays.asList(args).indexOf("--");
        String[] assignments = separator < 0 ? args : Arrays.copyOfRange(args, 0, separator);
        String[] command = separator < 0 ? new String[0] : Arrays.copyOfRange(args, separator + 1, args.length);
        if (assignments.length == 0 && command.length == 0) {
            err.println("usage: NAME | NAME=VALUE... [-- COMMAND [ARGS...]]");
            return USAGE;
        }
        if (separator < 0 && args.length == 1 && args[0].indexOf('=') < 0) {
            String value = NativeTools.getenv(args[0]);
            if (value == null) {
                return UNSET;
            }
            out.println(value);
            return 0;
        }
        for (String assignment : assignments) {
            if (assignment.indexOf('=') <= 0 || !NativeTools.putenv(assignment)) {
                err.println("not applied: " + assignment);
                return USAGE;
            }
        }
        if (command.length == 0) {
            for (String assignment : assignments) {
                String name = assignment.substring(0, assignment.indexOf('='));
                String value = NativeTools.getenv(name);
                out.println(value == null ? name + " (unset)" : name + '=' + value);
            }
            return 0;
        }
        try {
            // The child gets the C environment as it is now, because environment() is not touched.
            return new ProcessBuilder(command).inheritIO().start().waitFor();
        } catch (IOException e) {
            err.println("cannot run " + command[0] + ": " + e.getMessage());
            return NOT_RUN;
        }
    }
}
