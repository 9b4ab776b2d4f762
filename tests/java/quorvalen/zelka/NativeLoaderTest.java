package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Arrays;
import org.junit.jupiter.api.Test;

/** Which library gets loaded, and what an unsupported platform is told. */
class NativeLoaderTest {
    @Test
    void platformsMapToTheJarsNames() {
        String[][] cases = {
            {"Linux", "amd64", "linux-x86_64"},
            {"Linux", "x86_64", "linux-x86_64"},
            {"Linux", "i386", "linux-x86"},
            {"Linux", "x86", "linux-x86"},
            {"Windows 10", "x86", "windows-x86"},
            {"Windows Server 2019", "amd64", "windows-x86_64"},
            {"Linux", "aarch64", "linux-aarch64"},
            {"Linux", "arm", "linux-arm"},
            {"Linux", "ppc64le", "linux-ppc64le"},
            {"Linux", "ppc64", null},
            {"Linux", "s390x", null},
            {"Windows 11", "aarch64", null},
            {"Mac OS X", "x86_64", null},
            {"FreeBSD", "amd64", null},
        };
        for (String[] c : cases) {
            assertEquals(c[2], NativeLoader.platform(c[0], c[1]), c[0] + "/" + c[1]);
        }
    }

    @Test
    void theLoadedLibraryComesFromWhereTheSetupPutIt() {
        assertNotNull(NativeTools.getenv("PATH"));  // forces the load
        if (Boolean.getBoolean("zknative7.test.bundled")) {
            assertTrue(NativeLoader.source.contains("zknative7"), NativeLoader.source);
            assertTrue(NativeLoader.carried().containsAll(Arrays.asList(NativeLoader.PLATFORMS)), NativeLoader.carried().toString());
        } else {
            assertEquals("java.library.path", NativeLoader.source);
        }
    }

    @Test
    void anUnsupportedPlatformIsToldWhatTheJarCarries() {
        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class,
            () -> NativeLoader.loadBundled("Mac OS X", "aarch64"));
        assertTrue(error.getMessage().contains("os.name=Mac OS X, os.arch=aarch64"), error.getMessage());
        assertTrue(error.getMessage().contains(NativeLoader.carried().toString()), error.getMessage());
    }
}
