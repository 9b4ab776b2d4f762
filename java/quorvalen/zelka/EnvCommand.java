// The command line, java -jar zknative7.jar: env(1) through NativeTools.
package quorvalen.zelka;

import java.io.BufferedOutputStream;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * The command line, as env(1): lists every variable, or empties the environment ({@code -i}),
 * removes ({@code -u NAME}) and assigns ({@code NAME=VALUE}) variables and then runs COMMAND, which
 * inherits them; a lone {@code NAME} prints its value. Every read and change goes through
 * {@link NativeTools}.
 */
public final class EnvCommand {
    /** The status when a lone NAME is not set. */
    static final int UNSET = 1;

    static final String USAGE = String.join("\n",
        "Usage: java -jar zknative7.jar [OPTION]... [-] [NAME=VALUE]... [--] [COMMAND [ARG]...]",
        "   or: java -jar zknative7.jar NAME",
        "Removes and sets environment variables, then runs COMMAND, which inherits them.",
        "NAME=VALUE sets NAME; NAME= removes it. Without COMMAND, prints every variable as",
        "NAME=VALUE, one a line, in UTF-8, sorted by name (by UTF-16 code unit). A lone NAME prints",
        "its value; to run a lone COMMAND, put '--' before it.",
        "",
        "  -i, --ignore-environment  start with an empty environment (a lone '-' too)",
        "  -0, --null                end each listed variable with NUL, not newline",
        "  -u, --unset=NAME          remove NAME first; may be repeated",
        "  -C, --chdir=DIR           run COMMAND in DIR",
        "  -h, --help                print this help and exit",
        "      --version             print the version, the commit and where the native library was loaded from",
        "",
        "The first operand without '=' is COMMAND. '--' ends the options; after the assignments",
        "it ends them too, so COMMAND may contain '='. COMMAND is looked up, as execvp does, in",
        "PATH as set here, from DIR when -C gives one.",
        "",
        "Exit status: 125 when zknative7 itself fails, 126 when COMMAND is found but cannot run,",
        "127 when it is not found, 1 when NAME is unset; otherwise COMMAND's own status.",
        "");

    private EnvCommand() {
    }

    public static void main(String[] args) throws InterruptedException {
        OutputStream out = new BufferedOutputStream(new FileOutputStream(FileDescriptor.out));
        OutputStream err = new FileOutputStream(FileDescriptor.err);
        int status;
        try {
            status = run(args, out);
            out.flush();
        } catch (EnvFailure failure) {
            status = failure.status;
            report(err, failure.getMessage());
        } catch (LinkageError notLoaded) {
            // UnsatisfiedLinkError the first time, NoClassDefFoundError after: one line either way.
            status = EnvFailure.FAILED;
            String why = notLoaded.getMessage() == null ? notLoaded.toString() : notLoaded.getMessage();
            report(err, "cannot load the native library: " + why);
        } catch (IOException e) {
            status = EnvFailure.FAILED;
            report(err, "cannot write: " + e.getMessage());
        }
        System.exit(status);
    }

    static void report(OutputStream err, String message) {
        ByteArrayOutputStream line = new ByteArrayOutputStream();
        try {
            writeLine(line, "zknative7: " + message.replaceAll("\\s*\\R\\s*", " "));
            line.writeTo(err);  // in one write
        } catch (IOException ignored) {
            // Nowhere left to say it; the status still does.
        }
    }

    static int run(String[] args, OutputStream out) throws EnvFailure, IOException, InterruptedException {
        refuseUndecoded(args);
        EnvOptions options = EnvOptions.parse(args);
        if (options.shown != null) {
            return options.shown.equals("help") ? help(out) : version(out);
        }
        int next = options.operands;
        if (args.length == 1 && next == 0 && !args[0].equals("-") && args[0].indexOf('=') < 0) {
            return lookup(args[0], out);
        }
        if (next < args.length && args[next].equals("-")) {
            options.ignoreEnvironment = true;
            next++;
        }
        if (options.ignoreEnvironment) {
            removeEverything(!commandFollows(args, next));  // as env, ignoring -u
        } else {
            remove(options.unsets);
        }
        for (; next < args.length && args[next].indexOf('=') >= 0; next++) {
            if (!NativeTools.putenv(args[next])) {
                throw new EnvFailure("cannot set '" + args[next] + "'");
            }
        }
        if (next < args.length && args[next].equals("--")) {
            next++;
        }
        boolean commandGiven = next < args.length;
        if (options.nullTerminated && commandGiven) {
            throw EnvFailure.usage("cannot specify --null (-0) with command");
        }
        if (options.directory != null && !commandGiven) {
            throw EnvFailure.usage("must specify command with --chdir (-C)");
        }
        if (!commandGiven) {
            return list(out, options.nullTerminated ? '\0' : '\n');
        }
        File directory = options.directory == null ? null : directory(options.directory);
        String[] command = Arrays.copyOfRange(args, next, args.length);
        command[0] = CommandSearch.locate(command[0], directory);
        ProcessBuilder child = new ProcessBuilder(command).directory(directory).inheritIO();
        if (options.ignoreEnvironment) {
            // No removal reaches an entry without a name, so the child gets the JDK's copy, which
            // has none: followed, it holds each variable left here once, with its exact bytes.
            if (!follows()) {
                Map<String, String> environment = child.environment();
                environment.clear();
                environment.putAll(NativeTools.environment());
            } else {
                child.environment();
            }
        } else if (!NativeTools.compact0()) {
            throw new EnvFailure("no room to give the command each variable once");
        }
        try {
            // Otherwise environment() stays untouched, so the child inherits the C environment as it is now.
            return child.start().waitFor();
        } catch (IOException e) {
            throw notStarted(args[next], e);
        } catch (IllegalArgumentException malformed) {
            // Windows' process start refuses some quoting (an argument with an embedded quote, say).
            throw new EnvFailure(EnvFailure.CANNOT_RUN, "cannot run '" + args[next] + "': " + malformed.getMessage());
        }
    }

    static void remove(List<String> names) throws EnvFailure {
        for (String name : names) {
            if (name.isEmpty() || name.indexOf('=') >= 0) {
                throw new EnvFailure("cannot unset '" + name + "': not a variable name");
            }
        }
        for (String name : names) {
            if (!NativeTools.unsetenv(name)) {
                throw new EnvFailure("cannot unset '" + name + "'");
            }
        }
    }

    /** Whether args[next, ...) holds a COMMAND after its assignments. */
    static boolean commandFollows(String[] args, int next) {
        int command = next;
        while (command < args.length && args[command].indexOf('=') >= 0) {
            command++;
        }
        return command < args.length && !(args[command].equals("--") && command + 1 == args.length);
    }

    /** Whether the JDK's copy follows now, which it does wherever this JDK allows it. */
    static boolean follows() {
        try {
            NativeTools.followInJdk(true);
            return true;
        } catch (UnsupportedOperationException otherJdk) {
            return false;
        }
    }

    /**
     * Empties the environment: each entry by its name's bytes as stored, a name that is not UTF-8
     * too. What is left cannot be removed; that fails a listing, which would show it, but not a
     * COMMAND, which is started without it.
     */
    static void removeEverything(boolean listing) throws EnvFailure {
        byte[][] held = NativeTools.heldEntries0();
        if (held == null) {
            throw new EnvFailure("no room to list the environment");
        }
        for (int i = 0; i < held.length; i += 2) {
            NativeTools.putHeld0(held[i], null);
        }
        Map<String, String> left = NativeTools.environment();
        if (listing && !left.isEmpty()) {
            throw new EnvFailure("cannot remove '" + left.keySet().iterator().next() + "'");
        }
    }

    /** DIR as chdir(2) takes it, checked before COMMAND is looked for in it. */
    static File directory(String name) throws EnvFailure {
        File directory = new File(name).getAbsoluteFile();
        String why = FileNames.whyNotExact(name);
        if (why == null) {
            // An empty name is no folder, not the working one that File makes of it.
            why = name.isEmpty() || !directory.exists() ? "No such file or directory"
                : !directory.isDirectory() ? "Not a directory" : !directory.canExecute() ? "Permission denied" : null;
        }
        if (why != null) {
            throw new EnvFailure("cannot change directory to '" + name + "': " + why);
        }
        return directory;
    }

    /** The arguments the JVM could not decode by the locale arrive holding U+FFFD. */
    static void refuseUndecoded(String[] args) throws EnvFailure {
        String encoding = System.getProperty("sun.jnu.encoding");
        if (encoding == null || isUtf8(encoding)) {
            return;
        }
        for (int i = 0; i < args.length; i++) {
            if (args[i].indexOf('\uFFFD') >= 0) {
                throw new EnvFailure("argument " + (i + 1) + " is not valid " + encoding
                    + "; run under a UTF-8 locale, for example LC_ALL=C.UTF-8");
            }
        }
    }

    static boolean isUtf8(String encoding) {
        try {
            return Charset.forName(encoding).equals(StandardCharsets.UTF_8);
        } catch (IllegalArgumentException unknown) {
            return false;
        }
    }

    static int help(OutputStream out) throws IOException {
        out.write(USAGE.getBytes(StandardCharsets.UTF_8));
        return 0;
    }

    static int version(OutputStream out) throws IOException {
        NativeTools.getenv("PATH");  // any call loads the library, which sets where it came from
        writeLine(out, "zknative7 " + BuildInfo.VERSION + " (commit " + BuildInfo.COMMIT + "), native library from "
            + NativeLoader.source);
        return 0;
    }

    static int lookup(String name, OutputStream out) throws IOException {
        String value = NativeTools.getenv(name);
        if (value == null) {
            return UNSET;
        }
        writeLine(out, value);
        return 0;
    }

    static int list(OutputStream out, char terminator) throws IOException {
        for (Map.Entry<String, String> variable : NativeTools.environment().entrySet()) {
            write(out, variable.getKey() + '=' + variable.getValue(), terminator);
        }
        return 0;
    }

    /** Java reports the failed exec's errno as "error=N, text"; only ENOENT means not found. */
    static EnvFailure notStarted(String name, IOException e) {
        String why = e.getCause() != null ? e.getCause().getMessage() : e.getMessage();
        Matcher errno = Pattern.compile("error=(\\d+)").matcher(String.valueOf(why));
        boolean missing = errno.find() && errno.group(1).equals("2");
        return new EnvFailure(missing ? EnvFailure.NOT_FOUND : EnvFailure.CANNOT_RUN, "cannot run '" + name + "': " + why);
    }

    static void writeLine(OutputStream to, String line) throws IOException {
        write(to, line, '\n');
    }

    /**
     * Writes TEXT and the terminator as WTF-8: UTF-8, with an unpaired surrogate in its 3-byte form,
     * which is how the Linux library stores it (printenv prints the same bytes).
     */
    static void write(OutputStream to, String line, char terminator) throws IOException {
        for (int i = 0; i < line.length(); i++) {
            int c = line.charAt(i);
            if (Character.isHighSurrogate((char) c) && i + 1 < line.length()
                && Character.isLowSurrogate(line.charAt(i + 1))) {
                c = Character.toCodePoint((char) c, line.charAt(++i));
            }
            if (c < 0x80) {
                to.write(c);
            } else if (c < 0x800) {
                to.write(0xC0 | c >> 6);
                to.write(0x80 | c & 0x3F);
            } else if (c < 0x10000) {
                to.write(0xE0 | c >> 12);
                to.write(0x80 | c >> 6 & 0x3F);
                to.write(0x80 | c & 0x3F);
            } else {
                to.write(0xF0 | c >> 18);
                to.write(0x80 | c >> 12 & 0x3F);
                to.write(0x80 | c >> 6 & 0x3F);
                to.write(0x80 | c & 0x3F);
            }
        }
        to.write(terminator);
    }
}
