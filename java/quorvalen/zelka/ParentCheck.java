// Whether any user but root and this one could rename or replace what a folder holds, through it or a folder above it.
package quorvalen.zelka;

import java.io.IOException;
import java.nio.file.LinkOption;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Map;

/**
 * Checks a folder and every folder above it on POSIX: another user may rename or replace an
 * entry of a folder that user owns, or of one they can write that is not sticky, so anything put
 * below such a folder could be swapped between being written and being loaded. POSIX access
 * lists show in the group bits (their mask), so a folder they open to others counts as writable.
 */
final class ParentCheck {
    private static final int TYPE = 0170000;
    private static final int FOLDER = 0040000;
    private static final int GROUP_OR_OTHERS_WRITE = 0022;
    private static final int STICKY = 01000;

    private ParentCheck() {
    }

    /**
     * What makes {@code folder}, a path with no links, unsafe for user {@code uid}, in words
     * that name the folder at fault; null when only root and that user can change it.
     */
    static String problem(Path folder, int uid) throws IOException {
        for (Path at = folder; at != null; at = at.getParent()) {
            Map<String, Object> seen = Files.readAttributes(at, "unix:uid,mode", LinkOption.NOFOLLOW_LINKS);
            int owner = (Integer) seen.get("uid");
            int mode = (Integer) seen.get("mode");
            if ((mode & TYPE) != FOLDER) {
                return at + " is not a folder";
            }
            if (owner != 0 && owner != uid) {
                return at + " belongs to another user (uid " + owner + "), who could replace the library before it is loaded";
            }
            if ((mode & GROUP_OR_OTHERS_WRITE) != 0 && (mode & STICKY) == 0) {
                return at + " can be written by other users and is not sticky, so they could replace the library before"
                    + " it is loaded";
            }
        }
        return null;
    }
}
