// Extracts this jar's copy of the library into this user's private folder, loads it, and clears what earlier processes left there.
package quorvalen.zelka;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.nio.file.InvalidPathException;
import java.nio.file.Path;
import java.util.List;

/**
 * Extracts the jar's copy of the library for the running platform into a new folder of its own
 * ({@link Extraction}) inside this user's folder ({@link ExtractionPlace}), and loads it; removes
 * what it extracted when that fails, and the folders that earlier processes left there
 * ({@link StaleExtractions}).
 */
final class BundledLibrary {
    // Windows cannot delete a loaded DLL, so its folder stays while the process runs; the lock,
    // held until the process ends, tells later processes that the folder is still in use.
    private static Extraction heldExtraction;

    private BundledLibrary() {
    }

    /**
     * Loads the jar's copy for the platform (null: the jar has none for this one) and returns the
     * file loaded; adds to {@code tried} what failed.
     */
    static File load(String platform, List<String> tried) {
        String name = JarResources.library(platform);
        URL resource = name == null ? null : JarResources.own(name);
        if (resource == null) {
            String unreadable = JarResources.PLATFORMS.unreadable;
            tried.add(unreadable != null ? "this jar's platform table " + unreadable
                : "this jar, which carries no library for this platform but " + JarResources.carried());
            throw new UnsatisfiedLinkError("not in this jar");
        }
        Path parent;
        try {
            parent = ExtractionPlace.parent();
        } catch (InvalidPathException notAPath) {
            tried.add(name + ": the folder to extract it to, " + notAPath.getInput().replace("\0", "\\0") + ", is no path: "
                + notAPath.getReason());
            throw new UnsatisfiedLinkError("cannot extract " + name);
        }
        Path library = null;
        try (ExtractionPlace own = ExtractionPlace.open(parent)) {
            StaleExtractions.remove(own.folder());
            Extraction extraction = Extraction.create(own.folder());
            try {
                try (InputStream in = resource.openStream()) {
                    library = extraction.write(JarResources.PLATFORMS.library(platform), in);
                }
                NativeLibrary.load(library.toFile());
            } catch (IOException | RuntimeException | UnsatisfiedLinkError e) {
                extraction.remove();
                throw e;
            }
            // Linux can delete a loaded library; Windows keeps it until the process ends.
            if (!extraction.remove()) {
                heldExtraction = extraction;
            }
            return library.toFile();
        } catch (IOException | RuntimeException | UnsatisfiedLinkError e) {
            String place = name + (library == null ? " in " + parent : " extracted to " + library);
            tried.add(NativeLibrary.failedLoad(place, library, e));
            if (e instanceof UnsatisfiedLinkError) {
                throw (UnsatisfiedLinkError) e;
            }
            UnsatisfiedLinkError error = new UnsatisfiedLinkError("cannot extract " + name);
            error.initCause(e);
            throw error;
        }
    }
}
