// Sets NAME=VALUE through NativeTools, prints what it and the JDK's followed copy read back, then lets printenv print it too.
package quorvalen.zelka.modular;

import java.io.IOException;
import java.io.PrintStream;
import quorvalen.zelka.NativeTools;

public final class SetAndPrint {
    private SetAndPrint() {
    }

    public static void main(String[] args) throws IOException, InterruptedException {
        if (args.length != 2) {
            System.err.println("usage: SetAndPrint NAME VALUE");
            System.exit(2);
        }
        // From a named module, with nothing opened to it.
        NativeTools.followInJdk(true);
        if (!NativeTools.setenv(args[0], args[1])) {
            System.err.println("setenv refused " + args[0]);
            System.exit(1);
        }
        // UTF-8 whatever the locale, so the bytes can be compared with printenv's.
        PrintStream out = new PrintStream(System.out, true, "UTF-8");
        out.println(NativeTools.getenv(args[0]));
        out.println(System.getenv(args[0]));
        System.exit(new ProcessBuilder("printenv", args[0]).inheritIO().start().waitFor());
    }
}
