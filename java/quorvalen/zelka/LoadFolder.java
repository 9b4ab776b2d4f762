// One load's folder in the private folder: made, locked, the library written and checked there, then removed; and those earlier processes left.
package quorvalen.zelka;

import java.io.IOException;
import java.io.InputStream;
import java.nio.ByteBuffer;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.channels.OverlappingFileLockException;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.util.EnumSet;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * A folder {@code zknative7-<random>} of one load, inside the user's private folder: a lock file
 * held while the library is extracted and loaded (on Windows until the process ends), and the
 * library. Every other copy of the library in the process gets a folder of its own, as the JVM
 * loads a file into one class loader only.
 */
final class LoadFolder {
    static final String PREFIX = NativeLibrary.NAME + "-";
    static final String LOCK_FILE = ".lock";
    /** A folder this young may belong to a process that has not locked it yet. */
    static final long YOUNGEST_STALE_MILLIS = TimeUnit.MINUTES.toMillis(1);

    private final Folder parent;
    private final String name;
    private Folder folder;
    private FileChannel lock;

    private LoadFolder(Folder parent, String name) {
        this.parent = parent;
        this.name = name;
    }

    /** A new folder in {@code parent}, locked. */
    static LoadFolder create(Folder parent) throws IOException {
        LoadFolder made = new LoadFolder(parent, parent.createFolder(PREFIX));
        try {
            made.folder = parent.openFolder(made.name);
            made.lock = made.folder.open(LOCK_FILE, EnumSet.of(StandardOpenOption.CREATE_NEW, StandardOpenOption.WRITE));
            made.lock.lock();
        } catch (IOException | RuntimeException e) {
            made.remove();
            throw e;
        }
        return made;
    }

    /**
     * Writes {@code file} from {@code in} and returns the path System.load is to take, once that
     * path is seen to lead to the very file written, which only this user can have changed.
     */
    Path write(String file, InputStream in) throws IOException {
        long written = 0;
        try (FileChannel out = folder.open(file, EnumSet.of(StandardOpenOption.CREATE_NEW, StandardOpenOption.WRITE))) {
            byte[] buffer = new byte[64 * 1024];
            for (int n; (n = in.read(buffer)) > 0; written += n) {
                ByteBuffer bytes = ByteBuffer.wrap(buffer, 0, n);
                while (bytes.hasRemaining()) {
                    out.write(bytes);
                }
            }
        }
        Folder.Entry entry = folder.entry(file);
        if (!entry.isOurs(Folder.Entry.Kind.FILE) || entry.size != written) {
            throw new IOException(folder.path().resolve(file) + " is not the file just written");
        }
        return folder.pathTo(file, entry);
    }

    /**
     * Removes the folder and all in it; false, with the folder and its lock kept so that no
     * later process takes it for stale, while a file in it is still loaded (Windows).
     */
    boolean remove() {
        if (folder != null && !clear(folder)) {
            return false;
        }
        closeLock(lock);
        removeEmptied(parent, name, folder);
        return true;
    }

    /** Removes every folder of a load in {@code parent} whose process has ended. */
    static void removeStale(Folder parent) {
        List<String> names;
        try {
            names = parent.names();
        } catch (IOException | RuntimeException unreadable) {
            return;  // leftovers only cost space; they must never stop the load
        }
        for (String name : names) {
            if (name.startsWith(PREFIX)) {
                removeIfStale(parent, name);
            }
        }
    }

    /** Removes a folder of a load unless it is young, not this user's or locked by a live process. */
    static void removeIfStale(Folder parent, String name) {
        try (Folder folder = parent.openFolder(name)) {
            Folder.Entry lockFile = folder.entry(LOCK_FILE);
            if (!lockFile.isOurs(Folder.Entry.Kind.FILE)
                || System.currentTimeMillis() - lockFile.modifiedMillis < YOUNGEST_STALE_MILLIS) {
                return;
            }
            boolean cleared;
            // Read-only with a shared lock, taken without waiting: a holder's exclusive lock refuses it.
            try (FileChannel channel = folder.open(LOCK_FILE, EnumSet.of(StandardOpenOption.READ))) {
                FileLock held;
                try {
                    held = channel.tryLock(0, Long.MAX_VALUE, true);
                } catch (OverlappingFileLockException ours) {
                    held = null;
                }
                if (held == null) {
                    return;
                }
                cleared = clear(folder);
            }
            if (cleared) {
                removeEmptied(parent, name, folder);
            }
        } catch (IOException | RuntimeException inUse) {
            // Not a folder of ours, or left for a later process to retry.
        }
    }

    /** Deletes every file but the lock file, and links themselves; false when one is still in use. */
    private static boolean clear(Folder folder) {
        try {
            for (String entry : folder.names()) {
                if (!entry.equals(LOCK_FILE) && folder.entry(entry).kind != Folder.Entry.Kind.FOLDER) {
                    folder.deleteFile(entry);
                }
            }
            return true;
        } catch (IOException | RuntimeException inUse) {
            return false;
        }
    }

    // The lock file goes last, once its lock is released (Windows keeps a file until it is closed).
    private static void removeEmptied(Folder parent, String name, Folder folder) {
        try {
            if (folder != null) {
                try {
                    folder.deleteFile(LOCK_FILE);
                } catch (NoSuchFileException notMadeYet) {
                    // a folder whose lock file could not be made
                } finally {
                    folder.close();
                }
            }
            parent.deleteFolder(name);
        } catch (IOException | RuntimeException left) {
            // A folder left, for a later process to retry.
        }
    }

    private static void closeLock(FileChannel lock) {
        try {
            if (lock != null) {
                lock.close();
            }
        } catch (IOException alreadyReleased) {
            // Closing is all a lock needs.
        }
    }
}
