// Runs a child process that inherits this process's environment and returns what it printed.
package quorvalen.zelka.consumer;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;

public final class Children {
    private Children() {
    }

    /** The child's standard output and error; an IOException when it exits with a non-zero status. */
    public static byte[] output(String... command) throws IOException, InterruptedException {
        // environment() is never touched, so the child gets the C environment, not Java's snapshot.
        return output(new ProcessBuilder(command));
    }

    /** The same for a child of `builder`. */
    public static byte[] output(ProcessBuilder builder) throws IOException, InterruptedException {
        Process process = builder.redirectErrorStream(true).start();
        process.getOutputStream().close();
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        try (InputStream in = process.getInputStream()) {
            byte[] buffer = new byte[4096];
            for (int n; (n = in.read(buffer)) > 0; ) {
                out.write(buffer, 0, n);
            }
        }
        int status = process.waitFor();
        if (status != 0) {
            throw new IOException(builder.command() + " exited with " + status + ": " + out);
        }
        return out.toByteArray();
    }
}
