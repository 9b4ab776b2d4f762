// Which extractions that earlier processes left in this user's folder may go, found without waiting on anyone.
package quorvalen.zelka;

import java.io.IOException;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.channels.OverlappingFileLockException;
import java.nio.file.StandardOpenOption;
import java.util.EnumSet;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * Removes the extractions of ended processes, and nothing else: only inside this user's folder,
 * only folders and lock files of this user's alone, which nobody else can have opened, and a lock
 * is asked for without waiting, so a live process's is passed over at once.
 */
final class StaleExtractions {
    /** A folder this young may belong to a process that has not locked it yet. */
    static final long YOUNGEST_STALE_MILLIS = TimeUnit.MINUTES.toMillis(1);

    private StaleExtractions() {
    }

    /** Removes every extraction in {@code parent} whose process has ended. */
    static void remove(Folder parent) {
        List<String> names;
        try {
            names = parent.names();
        } catch (IOException | RuntimeException unreadable) {
            return;  // leftovers only cost space; they must never stop the load
        }
        for (String name : names) {
            if (name.startsWith(ExtractionPlace.PREFIX)) {
                removeIfStale(parent, name);
            }
        }
    }

    /** Removes an extraction unless it is young, not this user's or locked by a live process. */
    static void removeIfStale(Folder parent, String name) {
        try (Folder folder = parent.openFolder(name)) {
            Folder.Entry lockFile = folder.entry(Extraction.LOCK_FILE);
            if (!lockFile.isOurs(Folder.Entry.Kind.FILE)
                || System.currentTimeMillis() - lockFile.modifiedMillis < YOUNGEST_STALE_MILLIS) {
                return;
            }
            boolean cleared;
            // Read-only with a shared lock, taken without waiting: a holder's exclusive lock refuses it.
            try (FileChannel channel = folder.open(Extraction.LOCK_FILE, EnumSet.of(StandardOpenOption.READ))) {
                FileLock held;
                try {
                    held = channel.tryLock(0, Long.MAX_VALUE, true);
                } catch (OverlappingFileLockException ours) {
                    held = null;
                }
                if (held == null) {
                    return;
                }
                cleared = Extraction.clear(folder);
            }
            if (cleared) {
                Extraction.removeEmptied(parent, name, folder);
            }
        } catch (IOException | RuntimeException inUse) {
            // Not a folder of ours, or left for a later process to retry.
        }
    }
}
