// Child JVM entry: runs a class's main as on Windows, in a JVM on Linux.
package quorvalen.zelka;

import java.util.Arrays;

/**
 * {@code os.name} says Windows to all that reads it later, the loader and the command line among
 * them; but the JDK picks how it starts processes by the {@code os.name} it first sees, so that is
 * done before, for the Linux this runs on.
 */
final class AsOnWindows {
    private AsOnWindows() {
    }

    public static void main(String[] args) throws Exception {
        Class.forName("java.lang.ProcessImpl");
        System.setProperty("os.name", "Windows 10");
        Class.forName(args[0]).getMethod("main", String[].class).invoke(null, (Object) Arrays.copyOfRange(args, 1, args.length));
    }
}
