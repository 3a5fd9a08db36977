// Loads a presentation with Apache POI and reads every embedded object's data to its end.
// Prints one line per embedded object, "object <n> ok <bytes>" or "object <n> fails <reason>",
// then "slides=<n>". A presentation that does not load ends with a non-zero exit code.
import java.io.FileInputStream;
import java.io.InputStream;
import org.apache.poi.hslf.usermodel.HSLFObjectData;
import org.apache.poi.hslf.usermodel.HSLFSlideShow;

public class LoadWithPoi {
    public static void main(String[] args) throws Exception {
        try (FileInputStream file = new FileInputStream(args[0]);
             HSLFSlideShow show = new HSLFSlideShow(file)) {
            int index = 0;
            byte[] buffer = new byte[8192];
            for (HSLFObjectData object : show.getEmbeddedObjects()) {
                long bytes = 0;
                try (InputStream in = object.getInputStream()) {
                    for (int n; (n = in.read(buffer)) >= 0;) {
                        bytes += n;
                    }
                    System.out.println("object " + index + " ok " + bytes);
                } catch (Exception e) {
                    System.out.println("object " + index + " fails " + e);
                }
                ++index;
            }
            System.out.println("slides=" + show.getSlides().size());
        }
    }
}
