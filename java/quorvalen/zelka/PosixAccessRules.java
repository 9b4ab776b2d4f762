// Who owns a file and who else may change it on POSIX: its owner, and its mode's write bits for the rest.
package quorvalen.zelka;

import java.io.IOException;
import java.nio.channels.FileChannel;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.PosixFileAttributeView;
import java.nio.file.attribute.PosixFilePermissions;
import java.nio.file.attribute.UserPrincipal;
import java.util.ArrayList;
import java.util.EnumSet;
import java.util.List;
import java.util.Map;

/**
 * Owner and mode read as the rights they give: the owner may do anything, and a write bit for the
 * group or for others (access lists show in the group bits) lets them add entries to a folder,
 * and also remove others' unless the folder is sticky. Root is trusted, as it may do anything.
 */
final class PosixAccessRules implements AccessRules {
    static final PosixAccessRules INSTANCE = new PosixAccessRules();

    private static final int FOLDER_TYPE = 0040000;
    private static final int TYPE = 0170000;
    private static final int GROUP_OR_OTHERS_WRITE = 0022;
    private static final int STICKY = 01000;

    private volatile Map<String, Object> self;

    private PosixAccessRules() {
    }

    private Map<String, Object> selfAttributes() throws IOException {
        Map<String, Object> seen = self;
        if (seen == null) {
            try {
                seen = Files.readAttributes(Paths.get("/proc/self"), "unix:uid,owner");
            } catch (IOException | UnsupportedOperationException e) {
                throw new IOException("cannot tell from /proc/self which user this process runs as: " + e, e);
            }
            self = seen;
        }
        return seen;
    }

    @Override
    public UserPrincipal self() throws IOException {
        return (UserPrincipal) selfAttributes().get("owner");
    }

    @Override
    public boolean trusts(UserPrincipal who) throws IOException {
        return who.equals(self()) || who.equals(FileSystems.getDefault().getUserPrincipalLookupService().lookupPrincipalByName("0"));
    }

    @Override
    public UserPrincipal owner(Path entry) throws IOException {
        return Files.getOwner(entry, LinkOption.NOFOLLOW_LINKS);
    }

    @Override
    public String ownerNamed(Path entry) throws IOException {
        return "uid " + Files.getAttribute(entry, "unix:uid", LinkOption.NOFOLLOW_LINKS);
    }

    @Override
    public List<Grant> grants(Path entry) throws IOException {
        Map<String, Object> seen = Files.readAttributes(entry, "unix:uid,mode,owner,group", LinkOption.NOFOLLOW_LINKS);
        int mode = (Integer) seen.get("mode");
        List<Grant> grants = new ArrayList<>();
        grants.add(new Grant((UserPrincipal) seen.get("owner"), "uid " + seen.get("uid"), EnumSet.allOf(Right.class)));
        if ((mode & GROUP_OR_OTHERS_WRITE) != 0) {
            EnumSet<Right> rights = (mode & TYPE) != FOLDER_TYPE ? EnumSet.of(Right.WRITE)
                : (mode & STICKY) != 0 ? EnumSet.of(Right.ADD) : EnumSet.of(Right.ADD, Right.REMOVE);
            grants.add(new Grant((UserPrincipal) seen.get("group"), "other users (mode "
                + Integer.toOctalString(mode & 07777) + ")", rights));
        }
        return grants;
    }

    @Override
    public void restrictToSelf(Path entry) throws IOException {
        boolean folder = Files.isDirectory(entry, LinkOption.NOFOLLOW_LINKS);
        Files.getFileAttributeView(entry, PosixFileAttributeView.class, LinkOption.NOFOLLOW_LINKS)
            .setPermissions(PosixFilePermissions.fromString(folder ? "rwx------" : "rw-------"));
    }

    @Override
    public FileChannel openUnchangeable(Path file) throws IOException {
        // Nothing on POSIX keeps others from writing a file they may open: the folder's rules do.
        return FileChannel.open(file, StandardOpenOption.READ, LinkOption.NOFOLLOW_LINKS);
    }

    @Override
    public String userTag() throws IOException {
        return String.valueOf(selfAttributes().get("uid"));
    }
}
