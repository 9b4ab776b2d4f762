// Changes to the environment that closing the scope puts back exactly as they were.
package quorvalen.zelka;

import java.lang.ref.WeakReference;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.function.BooleanSupplier;

/**
 * A set of changes to this process's environment, made through {@link NativeTools}, that
 * {@link #close()} undoes: each name it set or cleared gets back the value it had when the scope
 * first touched it (unpaired surrogates included), or is unset again; when a newer scope still
 * open had changed the name by then, the value that scope found. For a test of any framework, or
 * a tool:
 *
 * <pre>{@code
 * try (EnvironmentScope scope = EnvironmentScope.open().set("TZ", "UTC").clear("LANG")) {
 *     // code that reads TZ and LANG, through System.getenv, native getenv or a child process
 * }
 * }</pre>
 *
 * <p>Or around a block, for any framework: the block's result comes back, its exception goes
 * through unchanged, and the environment is put back either way:
 *
 * <pre>{@code
 * Invoice invoice = EnvironmentScope.open().set("TZ", "UTC").call(() -> billing.invoiceFor(order));
 * EnvironmentScope.open().restoringEverything().run(() -> installer.install(target));
 * }</pre>
 *
 * <p>Opening a scope has the JDK's own copy of the environment {@link NativeTools#followInJdk(boolean)
 * follow} changes where the JDK allows it, so that {@code System.getenv} and {@code ProcessBuilder}
 * see them; when this scope switched following on, closing it switches it off again.
 * {@link #restoringEverything()} has closing put back the whole environment, whatever changed it
 * meanwhile. Scopes nest: close them in the reverse order of opening, as try-with-resources does.
 * A scope is for one thread; scopes of other threads change the same environment.
 *
 * <p>What is put back is each entry as the host holds it, not as a string reads it: on Linux an
 * inherited empty value, and bytes that are not UTF-8 (in a value or a name), come back as they
 * were. Windows' C runtime cannot hold an empty value once it is removed: one inherited is put
 * back removed.
 */
public final class EnvironmentScope implements AutoCloseable {
    /**
     * The scopes open in this process, oldest first. One that first touches a name a newer one has
     * changed puts back what the newer one found, not the newer one's value: a class-wide scope
     * touched during a test would otherwise leave the test's value behind after the class. Weak, so
     * that a scope never closed is not kept for good.
     */
    private static final List<WeakReference<EnvironmentScope>> OPEN = new ArrayList<>();
    /** Counts first touches, under OPEN's lock, so that the earliest of several newer scopes' is found. */
    private static long touches;

    /** Each name's variable as the host held it when this scope first touched it, in that order. Written under OPEN's lock. */
    private final Map<String, Found> before = new LinkedHashMap<>();
    /** The whole environment as the host held it when asked for, or null. */
    private Map<ByteBuffer, byte[]> everything;
    private final boolean switchedFollowingOn;
    private boolean closed;

    /**
     * Opens a scope, which has changed nothing yet.
     *
     * @return the new scope
     */
    public static EnvironmentScope open() {
        return new EnvironmentScope();
    }

    private EnvironmentScope() {
        boolean following = NativeTools.followsInJdk();
        if (!following) {
            try {
                NativeTools.followInJdk(true);
                following = true;
            } catch (UnsupportedOperationException otherJdk) {
                following = false;  // the real environment still changes, and is still put back
            }
            switchedFollowingOn = following;
        } else {
            switchedFollowingOn = false;
        }
        synchronized (OPEN) {
            OPEN.add(new WeakReference<>(this));
        }
    }

    /** A variable as the host held it (null when unset), and when that was found. */
    private static final class Found {
        final byte[][] held;
        final long touch;

        Found(byte[][] held, long touch) {
            this.held = held;
            this.touch = touch;
        }
    }

    /**
     * Sets or replaces a variable until the scope closes; an empty value removes it, as
     * {@link NativeTools#setenv} does.
     *
     * @return this scope
     * @throws IllegalArgumentException as {@link NativeTools#setenv} throws it
     * @throws IllegalStateException when the host refuses the change, or the scope is closed
     */
    public EnvironmentScope set(String name, String value) {
        NativeTools.requireName(name);
        NativeTools.requireValue(value);
        remember(name);
        if (!NativeTools.setenv(name, value)) {
            throw new IllegalStateException("the host refused to set " + name);
        }
        return this;
    }

    /**
     * Removes a variable until the scope closes.
     *
     * @return this scope
     * @throws IllegalArgumentException as {@link NativeTools#unsetenv} throws it
     * @throws IllegalStateException when the host refuses the change, or the scope is closed
     */
    public EnvironmentScope clear(String name) {
        NativeTools.requireName(name);
        remember(name);
        if (!NativeTools.unsetenv(name)) {
            throw new IllegalStateException("the host refused to remove " + name);
        }
        return this;
    }

    /**
     * Has {@link #close()} put back every variable as it is now, removing those set since, whatever
     * set them (this library, native code, a child's parent never).
     *
     * @return this scope
     */
    public EnvironmentScope restoringEverything() {
        requireOpen();
        if (everything == null) {
            everything = held();
        }
        return this;
    }

    /** A block that returns a value, and may throw {@code E}. */
    @FunctionalInterface
    public interface Block<T, E extends Throwable> {
        /**
         * Runs the block.
         *
         * @return its value
         * @throws E as the block throws it
         */
        T call() throws E;
    }

    /** A block that returns nothing, and may throw {@code E}. */
    @FunctionalInterface
    public interface Action<E extends Throwable> {
        /**
         * Runs the block.
         *
         * @throws E as the block throws it
         */
        void run() throws E;
    }

    /**
     * Runs {@code block} with this scope's changes, then closes the scope, and returns the block's
     * value. An exception of the block goes through unchanged (one of closing is added to it as
     * suppressed); when the block returns, closing's own goes through.
     *
     * @param <T> the block's value's type
     * @param <E> what the block may throw
     * @param block what to run
     * @return what the block returned
     * @throws E as the block threw it
     */
    public <T, E extends Throwable> T call(Block<T, E> block) throws E {
        T value;
        try {
            value = block.call();
        } catch (Throwable thrown) {
            try {
                close();
            } catch (Throwable alsoRefused) {
                thrown.addSuppressed(alsoRefused);
            }
            throw thrown;
        }
        close();
        return value;
    }

    /**
     * Runs {@code action} with this scope's changes, then closes the scope, as {@link #call} does.
     *
     * @param <E> what the action may throw
     * @param action what to run
     * @throws E as the action threw it
     */
    public <E extends Throwable> void run(Action<E> action) throws E {
        call(() -> {
            action.run();
            return null;
        });
    }

    /**
     * Puts back what this scope changed, in the reverse order of its changes, or the whole
     * environment it was asked to; then stops the JDK's copy following when opening started it.
     * Closing again does nothing.
     *
     * @throws IllegalStateException naming the variables the host refused to put back, or as
     *     {@link NativeTools#setenv} throws it when the JDK's copy stopped following; the rest are
     *     put back all the same, and the first exception thrown is the one that comes out
     */
    @Override
    public void close() {
        if (closed) {
            return;
        }
        closed = true;
        synchronized (OPEN) {
            OPEN.removeIf(scope -> scope.get() == null || scope.get() == this);
        }
        List<String> refused = new ArrayList<>();
        List<Throwable> thrown = new ArrayList<>();  // the first comes out, after the rest are put back
        List<Map.Entry<String, Found>> changes = new ArrayList<>(before.entrySet());
        for (int i = changes.size() - 1; i >= 0; i--) {
            String name = changes.get(i).getKey();
            byte[][] held = changes.get(i).getValue().held;
            attempt(name, () -> held == null ? NativeTools.unsetenv(name) : NativeTools.putHeld0(held[0], held[1]), refused, thrown);
        }
        if (everything != null) {
            attempt("the environment", () -> putBackEverything(refused, thrown), refused, thrown);
        }
        if (switchedFollowingOn) {
            attempt("following", () -> {
                NativeTools.followInJdk(false);
                return true;
            }, refused, thrown);
        }
        if (!refused.isEmpty()) {
            thrown.add(new IllegalStateException("the host refused to put back " + refused));
        }
        if (!thrown.isEmpty()) {
            Throwable first = thrown.get(0);
            thrown.subList(1, thrown.size()).forEach(first::addSuppressed);
            if (first instanceof Error) {
                throw (Error) first;
            }
            throw (RuntimeException) first;
        }
    }

    private boolean putBackEverything(List<String> refused, List<Throwable> thrown) {
        // Removals first: on Windows a name now spelt in another case is the same variable.
        for (ByteBuffer name : held().keySet()) {
            if (!everything.containsKey(name)) {
                attempt(nameOf(name), () -> NativeTools.putHeld0(name.array(), null), refused, thrown);
            }
        }
        Map<ByteBuffer, byte[]> now = held();
        for (Map.Entry<ByteBuffer, byte[]> variable : everything.entrySet()) {
            if (!Arrays.equals(variable.getValue(), now.get(variable.getKey()))) {
                attempt(nameOf(variable.getKey()), () -> NativeTools.putHeld0(variable.getKey().array(), variable.getValue()),
                    refused, thrown);
            }
        }
        return true;
    }

    /** Runs one put-back: a refusal names `what` in `refused`, an exception goes to `thrown`. */
    private static void attempt(String what, BooleanSupplier putBack, List<String> refused, List<Throwable> thrown) {
        try {
            if (!putBack.getAsBoolean()) {
                refused.add(what);
            }
        } catch (RuntimeException | Error e) {
            thrown.add(e);
        }
    }

    private void remember(String name) {
        requireOpen();
        if (before.containsKey(name)) {
            return;
        }
        byte[][] held = NativeTools.heldVariable0(name);
        if (held == null) {
            throw new OutOfMemoryError("no room to copy " + name);
        }
        synchronized (OPEN) {
            Found found = new Found(held.length == 0 ? null : held, ++touches);
            boolean newer = false;
            for (WeakReference<EnvironmentScope> open : OPEN) {
                EnvironmentScope scope = open.get();
                Found foundThere = newer && scope != null ? scope.before.get(name) : null;
                if (foundThere != null && foundThere.touch < found.touch) {
                    found = foundThere;
                }
                newer = newer || scope == this;
            }
            before.put(name, found);
        }
    }

    /** Every variable as the host holds it, by its name's bytes. */
    private static Map<ByteBuffer, byte[]> held() {
        byte[][] entries = NativeTools.heldEntries0();
        if (entries == null) {
            throw new OutOfMemoryError("no room to copy the environment");
        }
        Map<ByteBuffer, byte[]> byName = new LinkedHashMap<>();
        for (int i = 0; i < entries.length; i += 2) {
            byName.put(ByteBuffer.wrap(entries[i]), entries[i + 1]);
        }
        return byName;
    }

    private void requireOpen() {
        if (closed) {
            throw new IllegalStateException("the scope is closed");
        }
    }

    private static String nameOf(ByteBuffer held) {
        return new String(held.array(), OsFamily.hostIsWindows() ? StandardCharsets.UTF_16LE : StandardCharsets.UTF_8);
    }
}
