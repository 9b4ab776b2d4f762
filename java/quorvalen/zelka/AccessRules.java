// Who owns a file and who else may change it, as the file system keeps it: an access list on Windows, owner and mode on POSIX.
package quorvalen.zelka;

import java.io.IOException;
import java.nio.channels.FileChannel;
import java.nio.file.Path;
import java.nio.file.attribute.UserPrincipal;
import java.util.EnumSet;
import java.util.List;

/**
 * The one place where hosts differ in how they say who may change a file: Windows keeps an access
 * list and an owner's SID ({@link AclAccessRules}), POSIX an owner and a mode
 * ({@link PosixAccessRules}). Which one the Windows way gets is decided by what the file system
 * can show ({@link ExtractionPlace}), so that way runs on Linux too, over owners and modes.
 */
interface AccessRules {
    /** What another principal may do to a folder, or to a file. */
    enum Right {
        /** Make new entries in a folder. */
        ADD,
        /** Rename or delete any entry of a folder. */
        REMOVE,
        /** Change a file's bytes. */
        WRITE,
        /** Rename or delete the entry itself. */
        DELETE,
        /** Change the owner or the access list, and so grant itself everything. */
        CHANGE_RULES
    }

    /** Any right but ADD lets its holder replace what a folder holds. */
    EnumSet<Right> REPLACING = EnumSet.of(Right.REMOVE, Right.WRITE, Right.DELETE, Right.CHANGE_RULES);

    /** Some rights on an entry, granted to a principal, and how a user would name that principal. */
    final class Grant {
        final UserPrincipal who;
        final String named;
        final EnumSet<Right> rights;

        Grant(UserPrincipal who, String named, EnumSet<Right> rights) {
            this.who = who;
            this.named = named;
            this.rights = rights;
        }
    }

    /** This process's user, as owners are compared. */
    UserPrincipal self() throws IOException;

    /**
     * Whether a principal may already change the system or the JVM itself, so that a folder it can
     * change costs nothing more: root on POSIX; on Windows whoever may change {@code java.home}.
     */
    boolean trusts(UserPrincipal who) throws IOException;

    /** The entry's owner, seen without following a link. */
    UserPrincipal owner(Path entry) throws IOException;

    /** How a user would name the entry's owner. */
    String ownerNamed(Path entry) throws IOException;

    /** Everyone the entry grants any right to, its owner included, seen without following a link. */
    List<Grant> grants(Path entry) throws IOException;

    /** Makes an entry just made this user's, open to no one else (and inheriting nothing). */
    void restrictToSelf(Path entry) throws IOException;

    /** Opens a file to read, which nobody may write, rename or delete while it stays open. */
    FileChannel openUnchangeable(Path file) throws IOException;

    /** The part of this user's folder's name that names the user. */
    String userTag() throws IOException;
}
