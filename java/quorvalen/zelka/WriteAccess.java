// Who may write where the library goes: whether anyone untrusted could replace what a folder holds, through it or a folder above it.
package quorvalen.zelka;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.attribute.UserPrincipal;
import java.util.Collections;

/**
 * Decides, from a host's {@link AccessRules}, whether a folder is safe to work in. Anyone may be
 * let add entries to a parent (as to {@code /tmp} or {@code C:\Windows\Temp}), since what this
 * user makes there is this user's alone; but whoever else may remove or rename entries of the
 * parent or of a folder above it, rename one of those folders, or change their rules could swap
 * anything below between being written and being loaded.
 */
final class WriteAccess {
    private WriteAccess() {
    }

    /**
     * What makes {@code folder}, a path with no links, unsafe for this user, in words that name the
     * folder at fault; null when only this user and those the rules trust can replace what it holds.
     */
    static String problem(Path folder, AccessRules rules) throws IOException {
        for (Path at = folder; at != null; at = at.getParent()) {
            if (!Files.isDirectory(at, LinkOption.NOFOLLOW_LINKS)) {
                return at + " is not a folder";
            }
            UserPrincipal owner = rules.owner(at);
            if (!rules.trusts(owner)) {
                return at + " belongs to another user (" + rules.ownerNamed(at) + "), who could replace the library"
                    + " before it is loaded";
            }
            for (AccessRules.Grant grant : rules.grants(at)) {
                if (!rules.trusts(grant.who) && !Collections.disjoint(grant.rights, AccessRules.REPLACING)) {
                    return at + " lets " + grant.named + " rename or delete what it holds, so they could replace the"
                        + " library before it is loaded";
                }
            }
        }
        return null;
    }

    /** Whether the entry is this user's, and nobody else untrusted may change it in any way. */
    static boolean onlySelfMayChange(Path entry, AccessRules rules) throws IOException {
        if (!rules.owner(entry).equals(rules.self())) {
            return false;
        }
        for (AccessRules.Grant grant : rules.grants(entry)) {
            if (!grant.rights.isEmpty() && !rules.trusts(grant.who)) {
                return false;
            }
        }
        return true;
    }
}
