"""The exceptions and warnings of the splicetrc package."""


class Error(Exception):
    """A failure of splicetrc: a file that cannot be opened, read or written.

    ``str(error)`` is the message the command-line tools print after ``ERROR (step) -``;
    ``step`` names the step that failed (``openInputFile``, ``openOutputFile``,
    ``convertRecords``, ``exportRecords``, ``editRecords``, ``readRecord``, ...) and ``code``
    is the library's error code of the file at fault (1 file not found, 2 format not
    recognised, 3 corrupt header, 4 corrupt file, 5 write failure, 6 unknown format), 0 where
    the refusal is the tool's own.
    """

    def __init__(self, message, step, code=0):
        super().__init__(message)
        self.step = step
        self.code = code


class DamagedInputWarning(UserWarning):
    """A damaged input: its records up to the first unreadable one were used.

    The message is the WARNING line the command-line tools print.
    """
