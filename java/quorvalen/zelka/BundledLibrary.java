// Extracts this jar's copy of the library to a folder of its own, loads it, and clears what earlier processes left.
package quorvalen.zelka;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.channels.OverlappingFileLockException;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * Extracts the jar's copy of the library for the running platform into a new folder of its own and
 * loads it; removes what it extracted when that fails, and folders that earlier processes left.
 */
final class BundledLibrary {
    static final String TMPDIR_PROPERTY = "zknative7.tmpdir";
    static final String FOLDER_PREFIX = NativeLibrary.NAME + "-";
    static final String LOCK_FILE = ".lock";
    /** A folder this young may belong to a process that has not locked it yet. */
    static final long YOUNGEST_STALE_MILLIS = TimeUnit.MINUTES.toMillis(1);

    // Windows cannot delete a loaded DLL, so its folder stays while the process runs; the lock,
    // held until the process ends, tells later processes that the folder is still in use.
    private static FileChannel heldFolderLock;

    private BundledLibrary() {
    }

    /**
     * Loads the jar's copy for the platform (null: the jar has none for this one) and returns the
     * file loaded; adds to {@code tried} what failed.
     */
    static File load(String platform, List<String> tried) {
        String name = JarResources.library(platform);
        URL resource = name == null ? null : BundledLibrary.class.getResource(name);
        if (resource == null) {
            String unreadable = JarResources.PLATFORMS.unreadable;
            tried.add(unreadable != null ? "this jar's platform table " + unreadable
                : "this jar, which carries no library for this platform but " + JarResources.carried());
            throw new UnsatisfiedLinkError("not in this jar");
        }
        Path parent = extractionParent();
        removeStaleFolders(parent);
        Path folder = null;
        Path library = null;
        FileChannel lock = null;
        try {
            // Owner-only on POSIX, so no other user can swap the file before it is loaded.
            folder = Files.createTempDirectory(parent, FOLDER_PREFIX);
            lock = FileChannel.open(folder.resolve(LOCK_FILE), StandardOpenOption.CREATE_NEW, StandardOpenOption.WRITE);
            lock.lock();
            library = folder.resolve(JarResources.PLATFORMS.library(platform));
            try (InputStream in = resource.openStream()) {
                Files.copy(in, library);
            }
            NativeLibrary.load(library.toFile());
        } catch (IOException | RuntimeException | UnsatisfiedLinkError e) {
            String place = name + (library == null ? " in " + parent : " extracted to " + library);
            tried.add(NativeLibrary.failedLoad(place, library, e));
            removeFolder(folder, lock);
            if (e instanceof UnsatisfiedLinkError) {
                throw (UnsatisfiedLinkError) e;
            }
            UnsatisfiedLinkError error = new UnsatisfiedLinkError("cannot extract " + name);
            error.initCause(e);
            throw error;
        }
        // Linux can delete a loaded library; Windows keeps it until the process ends.
        try {
            Files.delete(library);
            removeFolder(folder, lock);
        } catch (IOException stillLoaded) {
            heldFolderLock = lock;
        }
        return library.toFile();
    }

    static Path extractionParent() {
        String configured = System.getProperty(TMPDIR_PROPERTY);
        return Paths.get(configured != null && !configured.isEmpty() ? configured : System.getProperty("java.io.tmpdir"))
            .toAbsolutePath();
    }

    /** Removes every folder of ours under {@code parent} that no live process holds. */
    static void removeStaleFolders(Path parent) {
        try (DirectoryStream<Path> folders = Files.newDirectoryStream(parent, FOLDER_PREFIX + "*")) {
            for (Path folder : folders) {
                removeIfStale(folder);
            }
        } catch (IOException | RuntimeException unreadable) {
            // Leftovers only cost space; they must never stop the load.
        }
    }

    /** Removes a folder of ours unless it is young or a live process holds its lock. */
    static void removeIfStale(Path folder) {
        Path lockFile = folder.resolve(LOCK_FILE);
        try {
            if (!Files.isDirectory(folder, LinkOption.NOFOLLOW_LINKS)
                || !Files.isRegularFile(lockFile, LinkOption.NOFOLLOW_LINKS)
                || System.currentTimeMillis() - Files.getLastModifiedTime(lockFile).toMillis() < YOUNGEST_STALE_MILLIS) {
                return;
            }
            FileChannel channel = FileChannel.open(lockFile, StandardOpenOption.WRITE);
            FileLock held;
            try {
                held = channel.tryLock();
            } catch (OverlappingFileLockException ours) {
                held = null;
            }
            if (held == null) {
                channel.close();
                return;
            }
            removeFolder(folder, channel);
        } catch (IOException | RuntimeException inUse) {
            // Left for a later process to retry.
        }
    }

    /**
     * Deletes the folder's files, then its lock file, then the folder, and closes the lock; a file
     * still in use stops it, and keeps its lock file, so a later process retries.
     */
    static void removeFolder(Path folder, FileChannel lock) {
        if (folder == null) {
            return;
        }
        Path lockFile = folder.resolve(LOCK_FILE);
        try {
            try (DirectoryStream<Path> entries = Files.newDirectoryStream(folder)) {
                for (Path entry : entries) {
                    if (!entry.equals(lockFile)) {
                        Files.delete(entry);
                    }
                }
            } finally {
                if (lock != null) {
                    lock.close();
                }
            }
            Files.deleteIfExists(lockFile);
            Files.delete(folder);
        } catch (IOException | RuntimeException inUse) {
            // Left for a later process to retry.
        }
    }
}
