// The one lock that test code changing the environment takes in turns, whichever framework runs it.
package quorvalen.zelka;

import java.util.ArrayDeque;
import java.util.Deque;
import java.util.Objects;

/**
 * Lets one holder at a time change the environment for a test, and those it holds for: a test
 * class's holder lets its own tests in (one at a time), though they run on other threads, as
 * JUnit 4's {@code ParallelComputer} runs them. A holder is any key that names what holds it (a
 * class, a test); {@code within} names the holder it runs inside. The JUnit 4 rule and the JUnit
 * Jupiter extension of zknative7 both take it, so their tests never overlap in one JVM.
 *
 * <pre>{@code
 * try (EnvironmentLock.Hold hold = EnvironmentLock.hold(MyTest.class, null);
 *      EnvironmentScope scope = EnvironmentScope.open().set("TZ", "UTC")) {
 *     ...
 * }
 * }</pre>
 */
public final class EnvironmentLock {
    /** The holders, innermost first; each with the thread that took it. */
    private static final Deque<Holder> HOLDERS = new ArrayDeque<>();

    private EnvironmentLock() {
    }

    private static final class Holder {
        final Object key;
        final Thread thread;

        Holder(Object key, Thread thread) {
            this.key = key;
            this.thread = thread;
        }
    }

    /** A hold taken, given back by {@link #close()}. */
    public static final class Hold implements AutoCloseable {
        private Holder holder;

        private Hold(Holder holder) {
            this.holder = holder;
        }

        /** Gives the hold back, letting the next holder in; again does nothing. */
        @Override
        public void close() {
            synchronized (HOLDERS) {
                if (holder != null) {
                    HOLDERS.remove(holder);
                    holder = null;
                    HOLDERS.notifyAll();
                }
            }
        }
    }

    /**
     * Waits until nobody holds the lock, or the innermost holder is {@code within} or {@code key}
     * itself, or was taken on this very thread (a suite around its classes), and then holds it.
     *
     * @param key what holds it, compared by {@code equals}
     * @param within what this holder runs inside, or null
     * @return the hold, to close when done
     * @throws InterruptedException when the thread is interrupted while it waits; nothing is held then
     */
    public static Hold hold(Object key, Object within) throws InterruptedException {
        Objects.requireNonNull(key, "key");
        Thread self = Thread.currentThread();
        synchronized (HOLDERS) {
            for (Holder top; (top = HOLDERS.peekFirst()) != null && !top.key.equals(key) && !top.key.equals(within)
                && top.thread != self; ) {
                HOLDERS.wait();
            }
            Holder holder = new Holder(key, self);
            HOLDERS.addFirst(holder);
            return new Hold(holder);
        }
    }
}
