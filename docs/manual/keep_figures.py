"""An rst2pdf extension of the user manual: a figure stays whole on one page.

rst2pdf lays a figure out as a table of its image and its caption, which may split between the
two, and shrinks the image to what is left of a page. Here the image and the caption are kept
together instead: a figure that does not fit on what is left of a page starts on the next one, at
its own size.
"""

from reportlab.platypus.flowables import KeepTogether
from rst2pdf import genelements
from rst2pdf.flowables import DelayedTable

_gather_figure = genelements.HandleFigure.gather_elements


def _figure_kept_together(self, client, node, style):
    kept = []
    for element in _gather_figure(self, client, node, style):
        if isinstance(element, DelayedTable):  # one row per part: the image, the caption
            parts = []
            for row in element.data:
                for cell in row:
                    parts.extend(cell if isinstance(cell, list) else [cell])
            kept.append(KeepTogether(parts))
        else:
            kept.append(element)
    return kept


def install(createpdf, options):
    genelements.HandleFigure.gather_elements = _figure_kept_together
