// One load's folder in this user's folder: made, locked, the library written, checked and held there, then removed.
package quorvalen.zelka;

import java.io.IOException;
import java.io.InputStream;
import java.nio.ByteBuffer;
import java.nio.channels.FileChannel;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.Arrays;
import java.util.EnumSet;

/**
 * A folder {@code zknative7-<random>} of one load, inside this user's folder: a lock file held
 * while the library is extracted and loaded (on Windows until the process ends), and the
 * library. Every other copy of the library in the process gets a folder of its own, as the JVM
 * loads a file into one class loader only.
 */
final class Extraction {
    static final String LOCK_FILE = ".lock";

    private final Folder parent;
    private final String name;
    private Folder folder;
    private FileChannel lock;
    private FileChannel held;

    private Extraction(Folder parent, String name) {
        this.parent = parent;
        this.name = name;
    }

    /** A new folder in {@code parent}, locked. */
    static Extraction create(Folder parent) throws IOException {
        Extraction made = new Extraction(parent, parent.createFolder(ExtractionPlace.PREFIX));
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
     * Writes {@code file} from {@code in} and returns the path System.load is to take, once the file
     * at that path is seen to hold exactly what was written; it is then held open, so that nobody
     * can change it, until the extraction is removed.
     */
    Path write(String file, InputStream in) throws IOException {
        MessageDigest written = sha256();
        try (FileChannel out = folder.open(file, EnumSet.of(StandardOpenOption.CREATE_NEW, StandardOpenOption.WRITE))) {
            byte[] buffer = new byte[64 * 1024];
            for (int n; (n = in.read(buffer)) > 0; ) {
                written.update(buffer, 0, n);
                ByteBuffer bytes = ByteBuffer.wrap(buffer, 0, n);
                while (bytes.hasRemaining()) {
                    out.write(bytes);
                }
            }
        }
        held = folder.openUnchangeable(file);
        MessageDigest read = sha256();
        ByteBuffer buffer = ByteBuffer.allocate(64 * 1024);
        while (held.read(buffer) > 0) {
            buffer.flip();
            read.update(buffer);
            buffer.clear();
        }
        Folder.Entry entry = folder.entry(file);
        if (!entry.isOurs(Folder.Entry.Kind.FILE) || !Arrays.equals(written.digest(), read.digest())) {
            throw new IOException(folder.path().resolve(file) + " is not the file just written");
        }
        return folder.pathTo(file, entry);
    }

    private static MessageDigest sha256() {
        try {
            return MessageDigest.getInstance("SHA-256");
        } catch (NoSuchAlgorithmException everyJvmHasIt) {
            throw new IllegalStateException(everyJvmHasIt);
        }
    }

    /**
     * Removes the folder and all in it; false, with the folder and its lock kept so that no
     * later process takes it for stale, while a file in it is still loaded (Windows).
     */
    boolean remove() {
        closeQuietly(held);
        if (folder != null && !clear(folder)) {
            return false;
        }
        closeQuietly(lock);
        removeEmptied(parent, name, folder);
        return true;
    }

    /** Deletes every file but the lock file, and links themselves; false when one is still in use. */
    static boolean clear(Folder folder) {
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

    /** Removes the lock file, then the folder; the lock file goes last, as Windows keeps a file until it is closed. */
    static void removeEmptied(Folder parent, String name, Folder folder) {
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

    private static void closeQuietly(FileChannel channel) {
        try {
            if (channel != null) {
                channel.close();
            }
        } catch (IOException alreadyClosed) {
            // Closing is all it needs.
        }
    }
}
