// Threads that race until each has made its least rounds, with a time bound for a stalled one.
package quorvalen.zelka;

import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicLongArray;
import java.util.concurrent.atomic.AtomicReference;

/**
 * Threads that race until every one of them has made its least rounds, not for a fixed time or a
 * fixed count on one thread: what a race test asserts never rests on how the scheduler shared the
 * cores. A time bound ends a race whose threads stopped making progress, and fails it saying which.
 */
final class Race {
    /** Long enough for the slowest runner (an emulated JVM beside other suites), short of ctest's timeout. */
    static final long BOUND_MILLIS = 180_000;

    /** One round of a racer; {@code round} counts from 0. */
    interface Round {
        void run(long round) throws Exception;
    }

    private final List<String> names = new ArrayList<>();
    private final List<Long> leasts = new ArrayList<>();
    private final List<Round> rounds = new ArrayList<>();
    private long millis;

    Race racer(String name, long least, Round round) {
        names.add(name);
        leasts.add(least);
        rounds.add(round);
        return this;
    }

    /** How long the last run took. */
    long millis() {
        return millis;
    }

    /**
     * Runs every racer until each has made its least rounds, and returns the rounds each made.
     *
     * @throws AssertionError when a racer falls short within {@link #BOUND_MILLIS}, or a round throws
     */
    long[] run() throws InterruptedException {
        int count = names.size();
        AtomicLongArray done = new AtomicLongArray(count);
        AtomicBoolean stop = new AtomicBoolean();
        AtomicReference<Throwable> thrown = new AtomicReference<>();
        CountDownLatch start = new CountDownLatch(1);
        List<Thread> threads = new ArrayList<>();
        for (int r = 0; r < count; r++) {
            int racer = r;
            Thread thread = new Thread(() -> {
                try {
                    start.await();
                    for (long i = 0; !stop.get(); i++) {
                        rounds.get(racer).run(i);
                        done.incrementAndGet(racer);
                    }
                } catch (Throwable e) {
                    thrown.compareAndSet(null, e);
                    stop.set(true);
                }
            }, names.get(r));
            thread.start();
            threads.add(thread);
        }
        long began = System.nanoTime();
        start.countDown();
        String shortfall;
        while ((shortfall = shortfall(done)) != null && !stop.get()
            && (System.nanoTime() - began) / 1_000_000 < BOUND_MILLIS) {
            Thread.sleep(2);
        }
        stop.set(true);
        for (Thread thread : threads) {
            thread.join();
        }
        millis = (System.nanoTime() - began) / 1_000_000;
        if (thrown.get() != null) {
            throw new AssertionError("a round of the race threw", thrown.get());
        }
        shortfall = shortfall(done);
        if (shortfall != null) {
            throw new AssertionError(shortfall + " in " + millis + " ms");
        }
        long[] made = new long[count];
        for (int r = 0; r < count; r++) {
            made[r] = done.get(r);
        }
        return made;
    }

    private String shortfall(AtomicLongArray done) {
        for (int r = 0; r < names.size(); r++) {
            if (done.get(r) < leasts.get(r)) {
                return names.get(r) + " made " + done.get(r) + " of its " + leasts.get(r) + " rounds";
            }
        }
        return null;
    }
}
