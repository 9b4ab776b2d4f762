// How code other than Java reads the environment in the extension's tests: libc through JNA, and a child.
package quorvalen.zelka.junit;

import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.Pointer;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;

/** Readers and writers of the real environment, their bytes shown one char per byte. */
final class Readers {
    /** libc, as native code in the process calls it. */
    public interface LibC extends Library {
        Pointer getenv(String name);

        int setenv(String name, String value, int overwrite);
    }

    static final LibC LIBC = Native.load("c", LibC.class);

    private Readers() {
    }

    /** libc's getenv of NAME, one char per byte, or null when unset. */
    static String libc(String name) {
        Pointer value = LIBC.getenv(name);
        return value == null ? null : value.getString(0, "ISO-8859-1");
    }

    static void libcSetenv(String name, String value) {
        if (LIBC.setenv(name, value, 1) != 0) {
            throw new IllegalStateException("libc refused " + name);
        }
    }

    /** What a child started now prints for NAME, one char per byte, without its newline; null when unset. */
    static String child(String name) throws IOException, InterruptedException {
        Process process = new ProcessBuilder("printenv", name).start();
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        try (InputStream in = process.getInputStream()) {
            for (int c; (c = in.read()) >= 0; ) {
                out.write(c);
            }
        }
        String printed = new String(out.toByteArray(), StandardCharsets.ISO_8859_1);
        return process.waitFor() == 0 ? printed.substring(0, printed.length() - 1) : null;
    }

    /** The whole environment as a child started now inherits it: env -0's output. */
    static byte[] envBytes() throws IOException, InterruptedException {
        Process process = new ProcessBuilder("env", "-0").start();
        byte[] listed = process.getInputStream().readAllBytes();
        if (process.waitFor() != 0) {
            throw new IllegalStateException("env -0 failed");
        }
        return listed;
    }

    /** The bytes the library stores for `text`, one char per byte: UTF-8, an unpaired surrogate in its 3-byte form. */
    static String stored(String text) {
        if (text == null) {
            return null;
        }
        StringBuilder bytes = new StringBuilder();
        for (int i = 0; i < text.length(); i++) {
            int c = text.codePointAt(i);
            i += Character.charCount(c) - 1;
            if (c < 0x80) {
                bytes.append((char) c);
            } else if (c < 0x800) {
                bytes.append((char) (0xC0 | c >> 6)).append((char) (0x80 | c & 0x3F));
            } else if (c < 0x10000) {
                bytes.append((char) (0xE0 | c >> 12)).append((char) (0x80 | c >> 6 & 0x3F)).append((char) (0x80 | c & 0x3F));
            } else {
                bytes.append((char) (0xF0 | c >> 18)).append((char) (0x80 | c >> 12 & 0x3F))
                    .append((char) (0x80 | c >> 6 & 0x3F)).append((char) (0x80 | c & 0x3F));
            }
        }
        return bytes.toString();
    }

    /** What Fixtures.see records for a variable whose value is `value` (null: unset) for every reader. */
    static String seenAs(String value) {
        return value + " | " + value + " | " + stored(value);
    }
}
