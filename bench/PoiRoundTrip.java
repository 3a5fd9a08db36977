// Loads a presentation with Apache POI and writes it out again: the reference for bench/run.sh.
//   java -cp POI_CLASSPATH:. PoiRoundTrip INPUT.ppt OUTPUT.ppt
import java.io.FileInputStream;
import java.io.FileOutputStream;
import org.apache.poi.hslf.usermodel.HSLFSlideShow;

public class PoiRoundTrip {
    public static void main(String[] args) throws Exception {
        try (FileInputStream in = new FileInputStream(args[0]);
             HSLFSlideShow show = new HSLFSlideShow(in);
             FileOutputStream out = new FileOutputStream(args[1])) {
            show.write(out);
            out.getFD().sync();
        }
    }
}
