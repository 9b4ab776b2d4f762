// Which file the command line's COMMAND names: found as execvp finds it on Linux, and as cmd.exe does on Windows, never by the system's own search.
package quorvalen.zelka;

import java.io.File;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/**
 * Finds COMMAND's file in {@code PATH} as set for the command, so that what runs is what the
 * usage text promises: on Linux as execvp does; on Windows by {@code PATH} and {@code PATHEXT} as
 * cmd.exe does, never in {@code java.exe}'s folder or the working folder unless {@code PATH} names
 * them, which CreateProcess would search first. A relative folder or name is taken from DIR
 * when {@code -C} gives one. The process start then gets the file's full path.
 */
final class CommandSearch {
    /** cmd.exe's extensions when PATHEXT is not set. */
    static final String DEFAULT_PATHEXT = ".COM;.EXE;.BAT;.CMD";

    private CommandSearch() {
    }

    /** COMMAND's file once the working folder is {@code directory} (null: this process's). */
    static String locate(String name, File directory) throws EnvFailure {
        return OsFamily.hostIsWindows() ? onWindows(name, directory) : onPosix(name, directory);
    }

    /**
     * As execvp: a name with '/' as it is, otherwise the first executable file of that name in
     * PATH's folders (an empty one is the working folder).
     */
    static String onPosix(String name, File directory) throws EnvFailure {
        refuseInexact(name, name, "it");
        if (name.indexOf('/') >= 0) {
            File file = within(directory, name);
            if (!file.exists()) {
                throw new EnvFailure(EnvFailure.NOT_FOUND, "cannot run '" + name + "': no such file");
            }
            // File drops a trailing '/', which the system would take to mean a folder.
            if (name.endsWith("/") && !file.isDirectory()) {
                throw new EnvFailure(EnvFailure.CANNOT_RUN, "cannot run '" + name + "': Not a directory");
            }
            refuseUnrunnable(name, file, true);
            return file.getPath();
        }
        String path = NativeTools.getenv("PATH");
        if (path == null) {
            path = "/bin:/usr/bin";  // glibc's execvp without PATH
        }
        EnvFailure unrunnable = null;
        for (String folder : path.split(":", -1)) {
            // A folder that cannot be named exactly cannot be searched, and might hold COMMAND.
            refuseInexact(name, folder, "PATH entry '" + folder + "'");
            File file = new File(within(directory, folder.isEmpty() ? "." : folder), name);
            if (!name.isEmpty() && file.isFile() && file.canExecute()) {
                return file.getPath();
            }
            if (unrunnable == null && !name.isEmpty() && file.exists()) {
                try {
                    refuseUnrunnable(name, file, true);
                } catch (EnvFailure failure) {
                    unrunnable = failure;  // execvp goes on searching, and reports EACCES at the end
                }
            }
        }
        if (unrunnable != null) {
            throw unrunnable;
        }
        throw new EnvFailure(EnvFailure.NOT_FOUND, "cannot run '" + name + "': not found in PATH");
    }

    /**
     * As cmd.exe: a name with a folder in it as it is, otherwise in each of PATH's folders (';'
     * apart, quotes around one taken off, empty ones skipped); a name without an extension with
     * each of PATHEXT's in turn; one with a dot as it is, and where no file has it (python3.12),
     * with PATHEXT's. Names and folders are UTF-16, as Windows takes them.
     */
    static String onWindows(String name, File directory) throws EnvFailure {
        // The name as it is first (everywhere), and only then with extensions.
        List<List<String>> passes = new ArrayList<>();
        passes.add(withExtensions(name));
        if (hasExtension(name)) {
            passes.add(withPathext(name));
        }
        if (name.indexOf('\\') >= 0 || name.indexOf('/') >= 0 || name.indexOf(':') >= 0) {
            for (List<String> pass : passes) {
                for (String candidate : pass) {
                    File file = within(directory, candidate);
                    if (file.isFile()) {
                        return file.getAbsolutePath();
                    }
                }
            }
            File file = within(directory, name);
            if (!file.exists()) {
                throw new EnvFailure(EnvFailure.NOT_FOUND, "cannot run '" + name + "': no such file");
            }
            refuseUnrunnable(name, file, false);
            return file.getAbsolutePath();
        }
        String path = NativeTools.getenv("PATH");
        EnvFailure unrunnable = null;
        for (List<String> pass : passes) {
            for (String folder : path == null ? new String[0] : path.split(";")) {
                if (folder.length() >= 2 && folder.startsWith("\"") && folder.endsWith("\"")) {
                    folder = folder.substring(1, folder.length() - 1);
                }
                if (folder.isEmpty() || name.isEmpty()) {
                    continue;
                }
                for (String candidate : pass) {
                    File file = new File(within(directory, folder), candidate);
                    if (file.isFile()) {
                        return file.getAbsolutePath();
                    }
                    if (unrunnable == null && file.isDirectory()) {
                        unrunnable = new EnvFailure(EnvFailure.CANNOT_RUN, "cannot run '" + name + "': is a directory");
                    }
                }
            }
        }
        if (unrunnable != null) {
            throw unrunnable;
        }
        throw new EnvFailure(EnvFailure.NOT_FOUND, "cannot run '" + name + "': not found in PATH");
    }

    /** The name itself when it has an extension, otherwise the name with each of PATHEXT's. */
    static List<String> withExtensions(String name) {
        return hasExtension(name) ? Collections.singletonList(name) : withPathext(name);
    }

    static boolean hasExtension(String name) {
        return name.substring(Math.max(name.lastIndexOf('\\'), name.lastIndexOf('/')) + 1).indexOf('.') >= 0;
    }

    /** The name with each of PATHEXT's extensions, in its order. */
    static List<String> withPathext(String name) {
        List<String> candidates = new ArrayList<>();
        String extensions = NativeTools.getenv("PATHEXT");
        for (String extension : (extensions == null ? DEFAULT_PATHEXT : extensions).split(";")) {
            if (!extension.isEmpty()) {
                candidates.add(name + extension);
            }
        }
        return candidates;
    }

    /** Refuses COMMAND `name` with 127 when `part` of what names it (`what`) cannot reach the system exactly. */
    static void refuseInexact(String name, String part, String what) throws EnvFailure {
        String why = FileNames.whyNotExact(part);
        if (why != null) {
            throw new EnvFailure(EnvFailure.NOT_FOUND, "cannot run '" + name + "': " + what + " cannot be named exactly: " + why);
        }
    }

    /** A relative path taken in {@code directory}, or in this process's folder when it is null. */
    static File within(File directory, String path) {
        File file = new File(path);
        return directory == null || file.isAbsolute() ? file : new File(directory, path);
    }

    static void refuseUnrunnable(String name, File file, boolean needsExecute) throws EnvFailure {
        if (file.isDirectory()) {
            throw new EnvFailure(EnvFailure.CANNOT_RUN, "cannot run '" + name + "': is a directory");
        }
        if (needsExecute && !file.canExecute()) {
            throw new EnvFailure(EnvFailure.CANNOT_RUN, "cannot run '" + name + "': permission denied");
        }
    }
}
