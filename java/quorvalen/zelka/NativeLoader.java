package quorvalen.zelka;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;

/**
 * Loads the native library behind {@link NativeTools}: an installed copy on
 * {@code java.library.path} if there is one, else the copy this jar carries for the running
 * platform.
 */
final class NativeLoader {
    static final String LIBRARY = "zknative7";
    static final String[] PLATFORMS = PlatformTable.names(PlatformTable.BUNDLED);

    /** Where the library was loaded from: {@code java.library.path}, or the extracted file. */
    static String source;

    private NativeLoader() {
    }

    static synchronized void load() {
        if (source != null) {
            return;
        }
        try {
            System.loadLibrary(LIBRARY);
            source = "java.library.path";
        } catch (UnsatisfiedLinkError notInstalled) {
            try {
                source = loadBundled(System.getProperty("os.name"), System.getProperty("os.arch"));
            } catch (UnsatisfiedLinkError notBundled) {
                notBundled.addSuppressed(notInstalled);
                throw notBundled;
            }
        }
    }

    /** The jar's name for a platform, or null when it has no library for it. */
    static String platform(String osName, String osArch) {
        return PlatformTable.platform(PlatformTable.BUNDLED, osName, osArch);
    }

    static String resource(String platform) {
        String file = platform.startsWith("windows") ? LIBRARY + ".dll" : "lib" + LIBRARY + ".so";
        return "/META-INF/native/" + platform + "/" + file;
    }

    /** The platforms whose library this jar actually carries. */
    static List<String> carried() {
        List<String> carried = new ArrayList<>();
        for (String platform : PLATFORMS) {
            if (NativeLoader.class.getResource(resource(platform)) != null) {
                carried.add(platform);
            }
        }
        return carried;
    }

    static String loadBundled(String osName, String osArch) {
        String platform = platform(osName, osArch);
        InputStream in = platform == null ? null : NativeLoader.class.getResourceAsStream(resource(platform));
        if (in == null) {
            throw new UnsatisfiedLinkError("no " + LIBRARY + " library for os.name=" + osName + ", os.arch="
                + osArch + " on java.library.path or in this jar, which carries " + carried());
        }
        try {
            // A directory of our own (owner-only on POSIX), so no other user can swap the file.
            File directory = Files.createTempDirectory(LIBRARY).toFile();
            String name = resource(platform);
            File file = new File(directory, name.substring(name.lastIndexOf('/') + 1));
            try (InputStream from = in; OutputStream to = new FileOutputStream(file)) {
                byte[] buffer = new byte[65536];
                for (int n; (n = from.read(buffer)) > 0; ) {
                    to.write(buffer, 0, n);
                }
            }
            System.load(file.getAbsolutePath());
            // Linux can delete a loaded library; Windows keeps it until the process ends.
            if (!file.delete() || !directory.delete()) {
                directory.deleteOnExit();  // runs after the file's, which is registered later
                file.deleteOnExit();
            }
            return file.getPath();
        } catch (IOException e) {
            UnsatisfiedLinkError error = new UnsatisfiedLinkError("cannot extract " + resource(platform) + ": " + e);
            error.initCause(e);
            throw error;
        }
    }
}
