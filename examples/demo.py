"""End-to-end tour of what the SDK offers from Python so far.

Run with `make demo`.
"""
import threading

import tarn_base_310 as tb


class PrintSink(tb.ZuLogSink):
    """A log sink that prints each entry the SDK hands it."""

    def __init__(self):
        super().__init__()
        self.entries = []

    def Log(self, level, logger, line, file, function, message):
        self.entries.append((level, logger, message))
        print(f"  [log] level={level} logger={logger} thread={threading.current_thread().name}: {message}")


def main():
    print("Texts and results")
    text = tb.ZuString("Grüße aus dem SDK")
    print(f"  ZuString: {text} ({text.GetLength()} characters)")
    result = tb.ZuResult(tb.ZU_TIMEOUT, "no frame within 100 ms")
    print(f"  ZuResult: code={result.GetCode()} ({result.GetCodeString()}), "
          f"description={result.GetDescription()!r}, ok={result.IsOK()}")
    combined = tb.ZuResult()
    combined |= result
    print(f"  OK |= TIMEOUT gives {combined.GetCodeString()}; equals ZU_TIMEOUT: {combined == tb.ZU_TIMEOUT}")

    print("Logging")
    sink = PrintSink()
    logger = tb.ZuLogger("demo")
    logger.SetLogPriority(tb.ZuLogLevelDebug)
    logger.LogInfo(__file__, 1, "main", "hello from the main thread")
    worker = threading.Thread(target=logger.LogWarning,
                              args=(__file__, 2, "worker", "hello from another thread"),
                              name="worker")
    worker.start()
    worker.join()
    # Once the SDK has called it, a sink lives until it is deleted explicitly.
    type(sink).__swig_destroy__(sink)
    logger.LogInfo(__file__, 3, "main", "nobody listens to this one")
    print("done")


if __name__ == "__main__":
    main()
