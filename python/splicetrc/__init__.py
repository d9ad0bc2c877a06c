"""B3 and B4 capture files of network testers, for scripts and notebooks.

Reading::

    import splicetrc
    with splicetrc.open("lab4-b4-ports.cap") as cap:
        print(cap.format, len(cap), cap.header["number_of_records"])
        for record in cap:                 # in file order
            print(record.number, record.time_ns, record.port, len(record.frame))
        table = cap.columns()              # NumPy arrays; pandas.DataFrame(table)
        figures = cap.stats()              # as trcinfo -json -stats

Jobs, with the engines and the safety of the command-line tools (an output appears only
when it is complete)::

    splicetrc.merge(["a.cap", "b.cap"], "ab.cap")
    splicetrc.export(["ab.cap"], "ab.pcapng")
    splicetrc.edit(["port1.cap", "port2.cap"], "both.cap", sort=True)

Failures raise splicetrc.Error; a damaged input warns with splicetrc.DamagedInputWarning and
the job goes on. ``python3 -m splicetrc.fleet`` computes statistics over many files on a Dask
cluster.
"""

from splicetrc._core import Capture, Record, RecordIterator, edit, export, merge
from splicetrc._core import __version__
from splicetrc._errors import DamagedInputWarning, Error

__all__ = ["open", "Capture", "Record", "RecordIterator", "merge", "export", "edit", "Error",
           "DamagedInputWarning", "__version__"]


def open(path):  # noqa: A001 - the package's reader is called as a file is opened
    """Opens a B3 or B4 capture file and returns its Capture (a context manager).

    Raises splicetrc.Error (step ``openInputFile``) for a file that cannot be opened or is
    neither B3 nor B4, with the message the tools print.
    """
    return Capture(str(path))
