// Where the jar's library goes: the parent folder, this user's folder in it, or a fresh one of this JVM's own when that name is someone else's.
package quorvalen.zelka;

import java.io.Closeable;
import java.io.IOException;
import java.nio.file.AccessDeniedException;
import java.nio.file.FileSystemException;
import java.nio.file.FileSystems;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.Paths;

/**
 * The one place that decides where extractions go: under {@value #TMPDIR_PROPERTY} (default
 * {@code java.io.tmpdir}), which must be a folder nobody untrusted can replace anything in
 * ({@link WriteAccess}), the folder {@code zknative7-<user>} serves every JVM of the user, made
 * this user's alone and checked each time. A name someone else holds is never used, nor one that
 * keeps vanishing under this JVM: it then makes a folder {@code zknative7-<user>-<random>} of its
 * own, and removes it when done.
 */
final class ExtractionPlace implements Closeable {
    static final String TMPDIR_PROPERTY = "zknative7.tmpdir";
    /** How every folder the loader makes begins, so that the cleanup can tell them apart. */
    static final String PREFIX = NativeLibrary.NAME + "-";
    // Another user making and removing this user's name in a loop gets a fresh folder instead, soon.
    private static final int ATTEMPTS = 8;

    private final Folder folder;
    private final Folder parent;  // null unless this JVM's own folder is to be removed from it
    private final String own;

    private ExtractionPlace(Folder folder, Folder parent, String own) {
        this.folder = folder;
        this.parent = parent;
        this.own = own;
    }

    static Path parent() {
        String configured = System.getProperty(TMPDIR_PROPERTY);
        return Paths.get(configured != null && !configured.isEmpty() ? configured : System.getProperty("java.io.tmpdir"))
            .toAbsolutePath();
    }

    /** This user's folder under {@code parent}, or an IOException whose message says what is wrong. */
    static ExtractionPlace open(Path parent) throws IOException {
        Path real;
        try {
            real = parent.toRealPath();
        } catch (NoSuchFileException missing) {
            throw new IOException("no such folder");
        }
        AccessRules rules = OsFamily.hostIsWindows() ? windowsRules() : PosixAccessRules.INSTANCE;
        String problem = WriteAccess.problem(real, rules);
        if (problem != null) {
            throw new IOException("refused: " + problem + " (choose a folder only you can change with -D"
                + TMPDIR_PROPERTY + "=DIR)");
        }
        Folder opened = OsFamily.hostIsWindows() ? new WindowsFolder(real, rules) : LinuxFolder.open(real, rules.self());
        try {
            String name = PREFIX + rules.userTag();
            for (int attempt = 0; attempt < ATTEMPTS; attempt++) {
                try {
                    opened.makeFolder(name);
                    if (!opened.entry(name).isOurs(Folder.Entry.Kind.FOLDER)) {
                        break;  // squatted, or opened to others since
                    }
                    ExtractionPlace shared = new ExtractionPlace(opened.openFolder(name), null, null);
                    opened.close();
                    return shared;
                } catch (Folder.NotOurs | NoSuchFileException | AccessDeniedException raced) {
                    // Made, removed or swapped by someone else between two steps: looked at afresh.
                }
            }
            String fresh;
            try {
                fresh = opened.createFolder(name + "-");
            } catch (IOException e) {
                throw new IOException("cannot make a folder of this user's in " + real + " (owner "
                    + rules.ownerNamed(real) + "): " + reason(e), e);
            }
            return new ExtractionPlace(opened.openFolder(fresh), opened, fresh);
        } catch (IOException | RuntimeException e) {
            opened.close();
            throw e;
        }
    }

    /** Windows' access lists where the file system shows them; owner and mode stand in elsewhere. */
    static AccessRules windowsRules() {
        return FileSystems.getDefault().supportedFileAttributeViews().contains("acl")
            ? AclAccessRules.INSTANCE : PosixAccessRules.INSTANCE;
    }

    /** What went wrong with a file, without the path the JDK puts first. */
    static String reason(IOException e) {
        if (e instanceof FileSystemException) {
            FileSystemException failed = (FileSystemException) e;
            if (failed.getReason() != null) {
                return failed.getReason();
            }
            return e instanceof AccessDeniedException ? "permission denied" : e.getClass().getSimpleName();
        }
        return e.getMessage();
    }

    Folder folder() {
        return folder;
    }

    /** Closes the folder; removes this JVM's own folder when empty. */
    @Override
    public void close() {
        folder.close();
        if (parent != null) {
            try {
                parent.deleteFolder(own);
            } catch (IOException stillInUse) {
                // Left, as a loaded library keeps its folder.
            }
            parent.close();
        }
    }
}
