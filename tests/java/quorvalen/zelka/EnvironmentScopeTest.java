// Scopes of changes that closing puts back exactly, nested or not, the JDK's copy with them.
package quorvalen.zelka;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.util.Map;
import org.junit.jupiter.api.Test;

class EnvironmentScopeTest {
    static final String UNPAIRED = "\uD800 \u041f \uDFFF";

    @Test
    void nestedScopesPutBackEachValueExactlyInTheirOrder() {
        assertTrue(NativeTools.setenv("ZK7S_KEPT", UNPAIRED));
        assertTrue(NativeTools.unsetenv("ZK7S_NEW"));
        assertFalse(NativeTools.followsInJdk());
        try (EnvironmentScope outer = EnvironmentScope.open().set("ZK7S_KEPT", "outer").set("ZK7S_NEW", "outer")) {
            assertTrue(NativeTools.followsInJdk(), "the JDK's copy follows while a scope is open");
            assertEquals("outer", System.getenv("ZK7S_KEPT"));
            try (EnvironmentScope inner = EnvironmentScope.open().clear("ZK7S_KEPT").set("ZK7S_NEW", "inner").set("ZK7S_NEW", "again")) {
                assertNull(NativeTools.getenv("ZK7S_KEPT"));
                assertEquals("again", System.getenv("ZK7S_NEW"));
            }
            assertEquals("outer", NativeTools.getenv("ZK7S_KEPT"));
            assertEquals("outer", System.getenv("ZK7S_NEW"));
            assertTrue(NativeTools.followsInJdk(), "the inner scope did not switch following on, so leaves it on");
        }
        assertEquals(UNPAIRED, NativeTools.getenv("ZK7S_KEPT"));
        assertEquals(UNPAIRED, System.getenv("ZK7S_KEPT"), "put back while followed, so the JDK's copy has it too");
        assertNull(NativeTools.getenv("ZK7S_NEW"));
        assertFalse(NativeTools.followsInJdk(), "switched off by the scope that switched it on");
        assertTrue(NativeTools.unsetenv("ZK7S_KEPT"));
    }

    @Test
    void restoringEverythingUndoesWhateverChangedTheEnvironment() {
        assertTrue(NativeTools.setenv("ZK7S_CHANGED", "before"));
        assertTrue(NativeTools.setenv("ZK7S_REMOVED", "before \uDC00"));
        Map<String, String> before = NativeTools.environment();
        try (EnvironmentScope scope = EnvironmentScope.open().restoringEverything()) {
            assertTrue(NativeTools.setenv("ZK7S_CHANGED", "after"));
            assertTrue(NativeTools.unsetenv("ZK7S_REMOVED"));
            assertTrue(NativeTools.putenv("ZK7S_ADDED=added"));
            scope.set("ZK7S_SCOPED", "scoped");
        }
        assertEquals(before, NativeTools.environment());
        assertTrue(NativeTools.unsetenv("ZK7S_CHANGED"));
        assertTrue(NativeTools.unsetenv("ZK7S_REMOVED"));
    }

    /** Around a block: its value back, its exception through as it was thrown, the environment put back either way. */
    @Test
    void blocksRunWithTheChangesWhichArePutBackWhateverTheyDo() throws Exception {
        assertTrue(NativeTools.setenv("ZK7S_KEPT", UNPAIRED));
        String seen = EnvironmentScope.open().set("ZK7S_KEPT", "outer").call(() ->
            NativeTools.getenv("ZK7S_KEPT") + " " + EnvironmentScope.open().clear("ZK7S_KEPT").call(() -> NativeTools.getenv("ZK7S_KEPT"))
                + " " + NativeTools.getenv("ZK7S_KEPT"));
        assertEquals("outer null outer", seen, "nested blocks unwind in order");
        IOException thrown = new IOException("on purpose");
        IOException caught = assertThrows(IOException.class, () -> EnvironmentScope.open()
            .set("ZK7S_KEPT", "thrown").run(() -> {
                throw thrown;
            }));
        assertTrue(caught == thrown, "the block's own exception");
        EnvironmentScope.open().restoringEverything().run(() -> NativeTools.putenv("ZK7S_ADDED=added"));
        assertEquals(UNPAIRED, NativeTools.getenv("ZK7S_KEPT"));
        assertNull(NativeTools.getenv("ZK7S_ADDED"));
        assertFalse(NativeTools.followsInJdk());
        assertTrue(NativeTools.unsetenv("ZK7S_KEPT"));
    }

    @Test
    void badNamesAndValuesAreRefusedAndAClosedScopeChangesNothing() {
        EnvironmentScope scope = EnvironmentScope.open();
        String[][] bad = {{"", "x"}, {"A=B", "x"}, {"A\0", "x"}, {null, "x"}, {"ZK7S_BAD", "a\0b"}, {"ZK7S_BAD", null}};
        for (String[] b : bad) {
            assertThrows(IllegalArgumentException.class, () -> scope.set(b[0], b[1]), b[0] + "=" + b[1]);
        }
        assertThrows(IllegalArgumentException.class, () -> scope.clear("A=B"));
        assertNull(NativeTools.getenv("ZK7S_BAD"));
        scope.close();
        scope.close();
        assertThrows(IllegalStateException.class, () -> scope.set("ZK7S_LATE", "x"));
        assertThrows(IllegalStateException.class, () -> scope.clear("ZK7S_LATE"));
        assertNull(NativeTools.getenv("ZK7S_LATE"));
    }
}
