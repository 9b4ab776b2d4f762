// Who owns a file and who else may change it on Windows: its owner's SID and the entries of its access list.
package quorvalen.zelka;

import java.io.IOException;
import java.nio.channels.FileChannel;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.OpenOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.AclEntry;
import java.nio.file.attribute.AclEntryFlag;
import java.nio.file.attribute.AclEntryPermission;
import java.nio.file.attribute.AclEntryType;
import java.nio.file.attribute.AclFileAttributeView;
import java.nio.file.attribute.UserPrincipal;
import java.nio.file.attribute.UserPrincipalLookupService;
import java.util.ArrayList;
import java.util.Collections;
import java.util.EnumSet;
import java.util.HashSet;
import java.util.List;
import java.util.Set;

/**
 * An access list read as the rights it gives: each entry that allows and applies to the entry
 * itself (not only to what it will hold), and the owner, who may always change the list. Denying
 * entries are not counted, so a list reads as open as it could be. Trusted are those who may change
 * the JVM's own folder, {@code java.home}: they could replace the JVM itself, and on a JDK
 * installed as Windows installs programs they are SYSTEM, Administrators and TrustedInstaller,
 * found without their names, which Windows translates.
 */
final class AclAccessRules implements AccessRules {
    static final AclAccessRules INSTANCE = new AclAccessRules();

    private volatile UserPrincipal self;
    private volatile Set<UserPrincipal> trusted;

    private AclAccessRules() {
    }

    @Override
    public UserPrincipal self() throws IOException {
        UserPrincipal user = self;
        if (user == null) {
            user = lookup(accountName());
            self = user;
        }
        return user;
    }

    /**
     * The account of this process's token, domain included, from the JDK's own reader of it where
     * the JVM has that module; otherwise the user's name, which Windows looks up locally first.
     */
    private static String accountName() {
        try {
            Object token = Class.forName("com.sun.security.auth.module.NTSystem").getConstructor().newInstance();
            return token.getClass().getMethod("getDomain").invoke(token) + "\\" + token.getClass().getMethod("getName").invoke(token);
        } catch (ReflectiveOperationException | LinkageError | RuntimeException absent) {
            return System.getProperty("user.name");
        }
    }

    private static UserPrincipal lookup(String name) throws IOException {
        UserPrincipalLookupService accounts = FileSystems.getDefault().getUserPrincipalLookupService();
        return accounts.lookupPrincipalByName(name);
    }

    @Override
    public boolean trusts(UserPrincipal who) throws IOException {
        Set<UserPrincipal> known = trusted;
        if (known == null) {
            Path jvm = Paths.get(System.getProperty("java.home"));
            known = new HashSet<>();
            for (Grant grant : grants(jvm)) {
                known.add(grant.who);
            }
            trusted = known;
        }
        return who.equals(self()) || known.contains(who);
    }

    @Override
    public UserPrincipal owner(Path entry) throws IOException {
        return Files.getOwner(entry, LinkOption.NOFOLLOW_LINKS);
    }

    @Override
    public String ownerNamed(Path entry) throws IOException {
        return owner(entry).getName();
    }

    @Override
    public List<Grant> grants(Path entry) throws IOException {
        AclFileAttributeView view = Files.getFileAttributeView(entry, AclFileAttributeView.class, LinkOption.NOFOLLOW_LINKS);
        boolean folder = Files.isDirectory(entry, LinkOption.NOFOLLOW_LINKS);
        List<Grant> grants = new ArrayList<>();
        UserPrincipal owner = view.getOwner();
        grants.add(new Grant(owner, owner.getName(), EnumSet.of(Right.CHANGE_RULES)));
        for (AclEntry allowed : view.getAcl()) {
            if (allowed.type() != AclEntryType.ALLOW || allowed.flags().contains(AclEntryFlag.INHERIT_ONLY)) {
                continue;
            }
            EnumSet<Right> rights = rights(allowed.permissions(), folder);
            if (!rights.isEmpty()) {
                grants.add(new Grant(allowed.principal(), allowed.principal().getName(), rights));
            }
        }
        return grants;
    }

    private static EnumSet<Right> rights(Set<AclEntryPermission> permissions, boolean folder) {
        EnumSet<Right> rights = EnumSet.noneOf(Right.class);
        // On a folder, writing data adds a file and appending adds a folder.
        if (permissions.contains(AclEntryPermission.WRITE_DATA) || permissions.contains(AclEntryPermission.APPEND_DATA)) {
            rights.add(folder ? Right.ADD : Right.WRITE);
        }
        if (folder && permissions.contains(AclEntryPermission.DELETE_CHILD)) {
            rights.add(Right.REMOVE);
        }
        if (permissions.contains(AclEntryPermission.DELETE)) {
            rights.add(Right.DELETE);
        }
        if (permissions.contains(AclEntryPermission.WRITE_ACL) || permissions.contains(AclEntryPermission.WRITE_OWNER)) {
            rights.add(Right.CHANGE_RULES);
        }
        return rights;
    }

    @Override
    public void restrictToSelf(Path entry) throws IOException {
        AclFileAttributeView view = Files.getFileAttributeView(entry, AclFileAttributeView.class, LinkOption.NOFOLLOW_LINKS);
        UserPrincipal user = self();
        // An elevated process makes Administrators the owner of what it creates; this user's folder
        // is to be this user's whichever way the JVM runs.
        if (!view.getOwner().equals(user)) {
            view.setOwner(user);
        }
        // A list set on its own, unlike one given at creation, takes in nothing the parent passes on.
        Set<AclEntryFlag> inherited = Files.isDirectory(entry, LinkOption.NOFOLLOW_LINKS)
            ? EnumSet.of(AclEntryFlag.FILE_INHERIT, AclEntryFlag.DIRECTORY_INHERIT) : EnumSet.noneOf(AclEntryFlag.class);
        view.setAcl(Collections.singletonList(AclEntry.newBuilder().setType(AclEntryType.ALLOW).setPrincipal(user)
            .setPermissions(EnumSet.allOf(AclEntryPermission.class)).setFlags(inherited).build()));
    }

    @Override
    public FileChannel openUnchangeable(Path file) throws IOException {
        Set<OpenOption> options = new HashSet<>();
        options.add(StandardOpenOption.READ);
        options.add(LinkOption.NOFOLLOW_LINKS);
        // Module jdk.unsupported, which a JVM made by jlink may lack; the folder's list still holds.
        for (String share : new String[] {"NOSHARE_WRITE", "NOSHARE_DELETE"}) {
            try {
                options.add((OpenOption) Class.forName("com.sun.nio.file.ExtendedOpenOption").getField(share).get(null));
            } catch (ReflectiveOperationException | LinkageError absent) {
                break;
            }
        }
        return FileChannel.open(file, options);
    }

    @Override
    public String userTag() throws IOException {
        String account = self().getName();
        return account.substring(account.lastIndexOf('\\') + 1).replaceAll("[^A-Za-z0-9._-]", "_");
    }
}
